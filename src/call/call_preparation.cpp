#include "call/call_preparation.h"

#include "call/exchange_trust.h"
#include "call/keyring_password.h"
#include "config/ini_file.h"
#include "config/security_settings.h"

namespace pellandor {

void prepareCall(const IniFile& settings, CallDialogValues& account, CallPress& press, CredentialStore& store) {
    press.request().setTrustPolicy(trustPolicyFor(loadSecuritySettings(settings), account));
    if (account.password.empty()) {
        account.password = keyringPassword(account.exchangeAddress, account.userId, settings, store);
    }
}

Result<bool> finishCall(const std::string& settingsPath, const CallOutcome& outcome) {
    return keepFirstKey(settingsPath, outcome.exchange, outcome.peer);
}

}  // namespace pellandor
