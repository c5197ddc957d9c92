#include "config/security_settings.h"

#include "config/atomic_file.h"
#include "config/cini.h"
#include "config/ini_document.h"
#include "dialing/text_utils.h"

namespace pellandor {

namespace {

std::string Trimmed(const CIni& ini, const char* key) {
    return TrimBlanks(ini.GetString(kSecuritySection, key));
}

// Changes the pin under the file lock; `decide` sees the file's current
// pin and exchange and says what to write (nullopt: leave the file alone).
// A file that needs no change is not rewritten.
template <class Decide>
bool ChangePin(const std::string& path, Decide decide, std::string& error) {
    bool unchanged = false;
    const bool ok = UpdateFileAtomically(
        path,
        [&decide, &unchanged](std::string& bytes, std::string&) {
            const std::string key = TrimBlanks(FindIniValue(bytes, kSecuritySection, kPinnedKeyKey).value_or(""));
            const std::string exchange =
                TrimBlanks(FindIniValue(bytes, kSecuritySection, kPinnedExchangeKey).value_or(""));
            std::string newKey, newExchange;
            if (!decide(key, exchange, newKey, newExchange)) {
                unchanged = true;
                return false;
            }
            IniDocument document(std::move(bytes));
            document.Set(kSecuritySection, kPinnedKeyKey, newKey);
            document.Set(kSecuritySection, kPinnedExchangeKey, newExchange);
            bytes = document.Serialize();
            return true;
        },
        error);
    if (unchanged) error.clear();
    return ok || unchanged;
}

}  // namespace

SecuritySettings LoadSecuritySettings(const CIni& ini) {
    SecuritySettings security;
    security.pinnedKey = Trimmed(ini, kPinnedKeyKey);
    security.pinnedExchange = Trimmed(ini, kPinnedExchangeKey);
    security.requiredKey = Trimmed(ini, kRequiredKeyKey);
    security.caFile = Trimmed(ini, kCaFileKey);
    security.useKeyring = ini.GetBool(kSecuritySection, kUseKeyringKey, 1) != 0;
    return security;
}

std::string ExchangeName(std::string_view address, std::string_view port) {
    const std::string host = TrimBlanks(address);
    const std::string service = TrimBlanks(port);
    if (host.find(':') != std::string::npos) return "[" + host + "]:" + service;
    return host + ":" + service;
}

std::string PinFor(const SecuritySettings& security, std::string_view exchange) {
    if (security.pinnedKey.empty() || security.pinnedExchange != exchange) return {};
    return security.pinnedKey;
}

PinWrite RememberFirstPin(const std::string& path, std::string_view exchange, std::string_view key,
                          std::string& error) {
    bool stored = false;
    const bool ok = ChangePin(
        path,
        [&](const std::string& oldKey, const std::string& oldExchange, std::string& newKey, std::string& newExchange) {
            if (!oldKey.empty() && oldExchange == exchange) return false;
            newKey = key;
            newExchange = exchange;
            stored = true;
            return true;
        },
        error);
    if (!ok) return PinWrite::Failed;
    return stored ? PinWrite::Stored : PinWrite::AlreadyPinned;
}

bool WritePin(const std::string& path, std::string_view exchange, std::string_view key, std::string& error) {
    return ChangePin(
        path,
        [&](const std::string&, const std::string&, std::string& newKey, std::string& newExchange) {
            newKey = key;
            newExchange = key.empty() ? std::string_view() : exchange;
            return true;
        },
        error);
}

bool DropPinUnlessFor(const std::string& path, std::string_view exchange, std::string& error) {
    return ChangePin(
        path,
        [&](const std::string& oldKey, const std::string& oldExchange, std::string& newKey, std::string& newExchange) {
            if (oldKey.empty() && oldExchange.empty()) return false;
            if (oldExchange == exchange) return false;
            newKey.clear();
            newExchange.clear();
            return true;
        },
        error);
}

}  // namespace pellandor
