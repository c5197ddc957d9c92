#pragma once
// Where the exchange password is kept outside the settings file: the
// desktop's keyring (the Secret Service on Linux desktops, the Credential
// Manager on Windows). One small seam; each system brings its own backend,
// chosen by the build.

#include "base/result.h"

#include <memory>
#include <string>
#include <string_view>

namespace pellandor {

// Names one entry: the exchange's address and the user ID on it (the
// program's own name is added by every backend).
struct CredentialKey {
    std::string exchangeAddress;
    std::string userId;
};

class CredentialStore {
public:
    virtual ~CredentialStore() = default;

    // For messages: "the desktop keyring (Secret Service)", "the Windows Credential Manager".
    virtual std::string describe() const = 0;
    // A failure's code: NotFound (the store answers but holds no such
    // entry), NoStore (no store answers here; the caller keeps the password
    // itself) or Failed (the store answered with an error, a refused unlock
    // for one).
    // Replaces any entry of the same key.
    virtual Status store(const CredentialKey& key, std::string_view secret) = 0;
    // The caller wipes the secret when done with it.
    virtual Result<std::string> lookup(const CredentialKey& key) = 0;
    // NotFound when there was nothing to remove.
    virtual Status remove(const CredentialKey& key) = 0;
};

// The system's store. Backends find out on first use whether a store
// answers, and report NoStore from then on when none does.
std::unique_ptr<CredentialStore> openCredentialStore();

// A store that never answers: for systems without one, and for users who
// keep the password in the settings file.
std::unique_ptr<CredentialStore> noCredentialStore();

}  // namespace pellandor
