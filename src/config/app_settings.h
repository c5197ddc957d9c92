#pragma once
// Everything the user configures, as held in memory, and its settings file.

#include "config/ini_field_table.h"

#include <cstdint>
#include <span>
#include <string>

namespace pellandor {

class DialingRules;

// Member initialisers are the values used when a section is missing from the
// file; a missing key inside a present section reads as 0 or empty instead.
struct AppSettings {
    std::string userId;
    std::string password;  // in clear; enciphered in the file
    std::string phoneNumber;
    std::string exchangeAddress;
    std::string exchangePort;
    bool autoHide = true;
    std::int32_t autoHideSeconds = 5;
    bool hideAfterSuccess = true;
    bool transparent = false;
    std::int32_t transparencyPercent = 70;
    bool callOnEnter = true;
    bool topMost = true;
    bool showHangup = false;
    bool fixedPosition = false;
    bool autoStart = false;
    bool autoCall = true;
    bool hotkeyEnabled = true;
    std::string hotkeyModifier = "ALT";
    std::string hotkeyKey = "Q";
    bool useOutlook = false;
    std::string language = "ENG";
    std::string coAccessCode;
    std::string myCountryCode;
    std::string myAreaCode;
    std::string internationalCode;
    std::string pbxCode;
    std::string longDistanceCode;
    bool addZero = true;
};

// texts of the general sections are held as a 200-byte buffer would hold them.
inline constexpr std::size_t kSettingsTextBuffer = 200;

// load and save order; names as the existing files spell them.
std::span<const IniField<AppSettings>> appSettingsFields();

// Fills `settings` from the file. Always succeeds: a missing or unreadable
// file leaves the defaults.
bool loadSettings(const std::string& path, AppSettings& settings);
// The same from a reader of the file (a snapshot shared by several loads).
bool loadSettings(const IniFile& ini, AppSettings& settings);

struct SettingsSaveResult {
    bool written = false;        // the file was replaced
    bool passwordStored = true;  // false: too long to encipher, the file keeps its old PW
    std::string error;
    explicit operator bool() const { return written && passwordStored; }
};

// Trims `settings.password`, then writes every key in table order in one
// atomic replacement of the file.
SettingsSaveResult saveSettings(const std::string& path, AppSettings& settings);

// The call dialog's copy of the account, address and behaviour values.
struct CallDialogValues {
    std::string userId, password, phoneNumber, exchangeAddress, exchangePort;
    bool callOnEnter = false, topMost = false, showHangup = false, fixedPosition = false;
    bool autoCall = false, autoHide = false, hideAfterSuccess = false;
    std::int32_t hideDelayMs = 3000;
    std::uint8_t alpha = 255;
};

// Trims the account texts of `settings` in place (not the address), then
// copies into `dialog`. The hide delay changes only while auto-hide is on.
void pushToCallDialog(AppSettings& settings, CallDialogValues& dialog);

// 255 - trunc(percent * 255 / 100) when transparent, else 255; kept within 0..255.
std::uint8_t windowAlpha(bool transparent, std::int32_t percent);

// The access codes into the dialling rules. The advanced sections follow
// with copyInDialingRuleAdv.
void pushDialingCodes(const AppSettings& settings, DialingRules& rules);

}  // namespace pellandor
