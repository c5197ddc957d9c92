#pragma once
// Where the exchange password is kept outside the settings file: the
// desktop's keyring (the Secret Service on Linux desktops, the Credential
// Manager on Windows). One small seam; each system brings its own backend,
// chosen by the build.

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

enum class CredentialStatus {
    Ok,
    NotFound,  // the store answers but holds no such entry
    NoStore,   // no store answers here; the caller keeps the password itself
    Failed,    // the store answered with an error (a refused unlock, for one); see the error text
};

class CredentialStore {
public:
    virtual ~CredentialStore() = default;

    // For messages: "the desktop keyring (Secret Service)", "the Windows Credential Manager".
    virtual std::string describe() const = 0;
    // Replaces any entry of the same key.
    virtual CredentialStatus store(const CredentialKey& key, std::string_view secret, std::string& error) = 0;
    // The caller wipes `secret` when done with it.
    virtual CredentialStatus lookup(const CredentialKey& key, std::string& secret, std::string& error) = 0;
    // NotFound when there was nothing to remove.
    virtual CredentialStatus remove(const CredentialKey& key, std::string& error) = 0;
};

// The system's store. Backends find out on first use whether a store
// answers, and report NoStore from then on when none does.
std::unique_ptr<CredentialStore> openCredentialStore();

// A store that never answers: for systems without one, and for users who
// keep the password in the settings file.
std::unique_ptr<CredentialStore> noCredentialStore();

}  // namespace pellandor
