#include "config/security_settings.h"

#include "platform/atomic_file.h"
#include "config/ini_file.h"
#include "config/ini_document.h"
#include "dialing/text_utils.h"

namespace pellandor {

namespace {

std::string trimmedValue(const IniFile& ini, const char* key) {
    return trimBlanks(ini.getString(kSecuritySection, key));
}

// Changes the pin under the file lock; `decide` sees the file's current
// pin and exchange and says what to write (nullopt: leave the file alone).
// A file that needs no change is not rewritten.
template <class Decide>
bool changePin(const std::string& path, Decide decide, std::string& error) {
    bool unchanged = false;
    const Status changed = updateFileAtomically(path, [&decide, &unchanged](std::string& bytes) -> Status {
        const std::string key = trimBlanks(findIniValue(bytes, kSecuritySection, kPinnedKeyKey).value_or(""));
        const std::string exchange = trimBlanks(findIniValue(bytes, kSecuritySection, kPinnedExchangeKey).value_or(""));
        std::string newKey, newExchange;
        if (!decide(key, exchange, newKey, newExchange)) {
            unchanged = true;
            return failure("unchanged");  // leaves the file alone
        }
        IniDocument document(std::move(bytes));
        document.set(kSecuritySection, kPinnedKeyKey, newKey);
        document.set(kSecuritySection, kPinnedExchangeKey, newExchange);
        bytes = document.serialize();
        return {};
    });
    error = unchanged ? std::string() : changed.error();
    return changed || unchanged;
}

}  // namespace

SecuritySettings loadSecuritySettings(const IniFile& ini) {
    SecuritySettings security;
    security.pinnedKey = trimmedValue(ini, kPinnedKeyKey);
    security.pinnedExchange = trimmedValue(ini, kPinnedExchangeKey);
    security.requiredKey = trimmedValue(ini, kRequiredKeyKey);
    security.caFile = trimmedValue(ini, kCaFileKey);
    security.useKeyring = ini.getBool(kSecuritySection, kUseKeyringKey, 1) != 0;
    return security;
}

std::string exchangeName(std::string_view address, std::string_view port) {
    const std::string host = trimBlanks(address);
    const std::string service = trimBlanks(port);
    if (host.find(':') != std::string::npos) return "[" + host + "]:" + service;
    return host + ":" + service;
}

std::string pinFor(const SecuritySettings& security, std::string_view exchange) {
    if (security.pinnedKey.empty() || security.pinnedExchange != exchange) return {};
    return security.pinnedKey;
}

PinWrite rememberFirstPin(const std::string& path, std::string_view exchange, std::string_view key,
                          std::string& error) {
    bool stored = false;
    const bool ok = changePin(
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

bool writePin(const std::string& path, std::string_view exchange, std::string_view key, std::string& error) {
    return changePin(
        path,
        [&](const std::string&, const std::string&, std::string& newKey, std::string& newExchange) {
            newKey = key;
            newExchange = key.empty() ? std::string_view() : exchange;
            return true;
        },
        error);
}

bool dropPinUnlessFor(const std::string& path, std::string_view exchange, std::string& error) {
    return changePin(
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
