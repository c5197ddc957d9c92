#include "platform/credential_store.h"

namespace pellandor {

namespace {

class NoCredentialStore final : public CredentialStore {
public:
    std::string describe() const override { return "no keyring"; }
    CredentialStatus store(const CredentialKey&, std::string_view, std::string& error) override {
        error = "no keyring answers on this desktop";
        return CredentialStatus::NoStore;
    }
    CredentialStatus lookup(const CredentialKey&, std::string&, std::string& error) override {
        error = "no keyring answers on this desktop";
        return CredentialStatus::NoStore;
    }
    CredentialStatus remove(const CredentialKey&, std::string& error) override {
        error = "no keyring answers on this desktop";
        return CredentialStatus::NoStore;
    }
};

}  // namespace

std::unique_ptr<CredentialStore> noCredentialStore() {
    return std::make_unique<NoCredentialStore>();
}

}  // namespace pellandor
