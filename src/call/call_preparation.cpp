#include "call/call_preparation.h"

#include "call/exchange_trust.h"
#include "call/keyring_password.h"
#include "config/cini.h"
#include "config/security_settings.h"

namespace pellandor {

void prepareCall(const std::string& settingsPath, CallDialogValues& account, CCallPress& press,
                 CredentialStore& store) {
    const CIni settings = CIni::Snapshot(settingsPath);
    press.Request().SetTrustPolicy(TrustPolicyFor(LoadSecuritySettings(settings), account));
    if (account.password.empty()) {
        account.password = keyringPassword(account.exchangeAddress, account.userId, settings, store);
    }
}

std::string finishCall(const std::string& settingsPath, const CallDialogValues& account, const CallOutcome& outcome,
                       bool& pinned) {
    std::string error;
    const PinWrite written = KeepFirstKey(settingsPath, account, outcome.peer, error);
    pinned = written == PinWrite::Stored;
    return written == PinWrite::Failed ? error : std::string();
}

}  // namespace pellandor
