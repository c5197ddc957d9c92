#include "platform/credential_store.h"

namespace pellandor {

// Built without a keyring backend.
std::unique_ptr<CredentialStore> openCredentialStore() {
    return noCredentialStore();
}

}  // namespace pellandor
