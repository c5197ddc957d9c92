#include "call/exchange_trust.h"

namespace pellandor {

TrustPolicy trustPolicyFor(const SecuritySettings& security, const CallDialogValues& account) {
    TrustPolicy policy;
    policy.caFile = security.caFile;
    if (!security.requiredKey.empty()) {
        // A value that is no fingerprint can never match: calls fail until it is mended.
        if (!normalizeKeyFingerprint(security.requiredKey, policy.expectedKey)) {
            policy.expectedKey = security.requiredKey;
        }
        policy.provisioned = true;
        return policy;
    }
    policy.expectedKey = pinFor(security, exchangeName(account.exchangeAddress, account.exchangePort));
    return policy;
}

Result<bool> keepFirstKey(const std::string& settingsPath, const std::string& exchange, const PeerCheck& check) {
    if (check.verdict != TrustVerdict::FirstUse || check.fingerprint.empty()) return false;
    return rememberFirstPin(settingsPath, exchange, check.fingerprint);
}

std::string untrustedExchangeMessage(const PeerCheck& check, std::string_view exchange) {
    const std::string where(exchange);
    switch (check.verdict) {
        case TrustVerdict::KeyChanged:
            if (check.provisioned) {
                return "The exchange " + where +
                       " did not show the key your administrator set. Nothing was sent.\n"
                       "Required key: " +
                       check.expected + "\nShown key: " + check.fingerprint +
                       "\nAsk your administrator (REQUIRED_KEY in the [SECURITY] section of the settings).";
            }
            return "The exchange's identity has changed: " + where +
                   " showed another key than the one trusted before. Nothing was sent.\n"
                   "Trusted key: " +
                   check.expected + "\nNew key: " + check.fingerprint +
                   "\nIf the exchange's certificate was replaced on purpose, accept the new key with\n"
                   "pellandor config pin accept " +
                   check.fingerprint +
                   "\nor with Forget in the settings dialog (the next call then trusts the key it finds).";
        case TrustVerdict::ChainRejected:
            return "The certificate of the exchange " + where + " is not trusted: " + check.detail +
                   ". Nothing was sent.\nShown key: " + check.fingerprint +
                   "\nThe certificate authorities are set by CA_FILE in the [SECURITY] section of the settings.";
        default:
            return {};
    }
}

}  // namespace pellandor
