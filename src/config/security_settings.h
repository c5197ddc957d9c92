#pragma once
// The program's own settings section for trusting the exchange and keeping
// the password: the key kept on first use, what an administrator provisions,
// and whether the desktop keyring is used. The system's sections stay as
// they are.

#include "base/result.h"

#include <string>
#include <string_view>

namespace pellandor {

class IniFile;

inline constexpr const char* kSecuritySection = "SECURITY";
// The exchange's key kept from the first call, and the exchange it was kept for.
inline constexpr const char* kPinnedKeyKey = "PINNED_KEY";
inline constexpr const char* kPinnedExchangeKey = "PINNED_EXCHANGE";
// Provisioned by an administrator: checked from the very first call.
inline constexpr const char* kRequiredKeyKey = "REQUIRED_KEY";
inline constexpr const char* kCaFileKey = "CA_FILE";
// 0: the password stays in the file even where a keyring answers.
inline constexpr const char* kUseKeyringKey = "USE_KEYRING";

struct SecuritySettings {
    std::string pinnedKey;
    std::string pinnedExchange;
    std::string requiredKey;
    std::string caFile;
    bool useKeyring = true;
};

SecuritySettings loadSecuritySettings(const IniFile& ini);

// "ADDRESS:PORT"; an IPv6 address in brackets.
std::string exchangeName(std::string_view address, std::string_view port);

// The key kept for `exchange`; empty when none was kept, or it was kept for
// another address or port (a changed address never inherits a pin).
std::string pinFor(const SecuritySettings& security, std::string_view exchange);

// First use, as one locked read-change-write of the file: keeps `key` for
// `exchange` unless the file holds a pin for it already (another process may
// have pinned meanwhile; the first one stays). True when this call kept the
// key, false when the file held a pin for `exchange` already.
Result<bool> rememberFirstPin(const std::string& path, std::string_view exchange, std::string_view key);

// Trusts `key` for `exchange` from now on, replacing any pin (the user
// accepted a changed key). An empty key forgets the pin: the next call keeps
// the key it finds.
Status writePin(const std::string& path, std::string_view exchange, std::string_view key);

// Forgets the pin when it was kept for another exchange than `exchange`
// (the address or port was changed). A file that needs no change is left alone.
Status dropPinUnlessFor(const std::string& path, std::string_view exchange);

}  // namespace pellandor
