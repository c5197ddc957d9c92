#include "platform/credential_store.h"

namespace pellandor {

namespace {

class NoCredentialStore final : public CredentialStore {
public:
    std::string describe() const override { return "no keyring"; }
    Status store(const CredentialKey&, std::string_view) override { return none(); }
    Result<std::string> lookup(const CredentialKey&) override { return none(); }
    Status remove(const CredentialKey&) override { return none(); }

private:
    static Failure none() { return failure("no keyring answers on this desktop", ErrorCode::NoStore); }
};

}  // namespace

std::unique_ptr<CredentialStore> noCredentialStore() {
    return std::make_unique<NoCredentialStore>();
}

}  // namespace pellandor
