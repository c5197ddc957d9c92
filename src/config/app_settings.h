#pragma once
// Everything the user configures, as held in memory, and its settings file:
// the general sections and the two dialling-rule sections in one struct, so
// each value (the language too) is held once.

#include "base/result.h"
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

    // DIALING_RULE_ADV
    std::string equalDigits;
    std::string minPopupLength = "3";  // as typed; the rules take its leading number
    bool useAreaCode = false;
    bool useInternationalRule = false;
    bool usePopupForChar = true;

    // DIALING_RULE_ADV_ADV
    bool useNonStandard = false;
    bool usePrefix = false;
    std::string prefix1, prefix2, prefix3, prefix4, prefix5;
    bool useCoExtensionLength = false;
    std::string coExtensionLength;  // as typed; empty leaves the rules' length as it was

    bool operator==(const AppSettings&) const = default;
};

// The file's sections come in three parts, each saved on its own by the
// dialog that edits it: general, DIALING_RULE_ADV, DIALING_RULE_ADV_ADV.
enum class SettingsPart { General, AdvancedDialing, SpecialDialing };

// texts of the general sections are held as a 200-byte buffer would hold them.
inline constexpr std::size_t kSettingsTextBuffer = 200;

// texts of the dialling-rule sections are held as a 100-byte buffer would hold them.
inline constexpr std::size_t kDialingTextBuffer = 100;

// load and save order of each part; names as the existing files spell them.
std::span<const IniField<AppSettings>> settingsFields(SettingsPart part);
std::size_t settingsTextBuffer(SettingsPart part);
inline std::span<const IniField<AppSettings>> appSettingsFields() {
    return settingsFields(SettingsPart::General);
}
inline constexpr SettingsPart kSettingsParts[] = {SettingsPart::General, SettingsPart::AdvancedDialing,
                                                  SettingsPart::SpecialDialing};

// Fills `settings` (every part) from the file. Always succeeds: a missing or
// unreadable file leaves the defaults.
bool loadSettings(const std::string& path, AppSettings& settings);
// The same from a reader of the file (a snapshot shared by several loads).
bool loadSettings(const IniFile& ini, AppSettings& settings);

// Trims `settings.password`, then writes every key of `part` in table order
// in one atomic replacement of the file; other sections stay as they are.
// A password too long to encipher is not written: the file keeps its old one,
// the rest is saved, and the failure says so (ErrorCode::Partial).
Status saveSettings(const std::string& path, AppSettings& settings, SettingsPart part = SettingsPart::General);

// What the call dialog and a call use of the settings, derived from them.
struct CallDialogValues {
    std::string userId, password, phoneNumber, exchangeAddress, exchangePort;
    bool callOnEnter = false, topMost = false, showHangup = false, fixedPosition = false;
    bool autoCall = false, autoHide = false, hideAfterSuccess = false;
    std::int32_t hideDelayMs = 3000;
    std::uint8_t alpha = 255;
    bool operator==(const CallDialogValues&) const = default;
};

// Trims the account texts in place (not the address): the program holds
// them without the blanks a file may have around them.
void trimAccount(AppSettings& settings);

// Brings `dialog` in line with `settings`. The hide delay changes only while
// auto-hide is on.
void updateCallDialogValues(const AppSettings& settings, CallDialogValues& dialog);

// 255 - trunc(percent * 255 / 100) when transparent, else 255; kept within 0..255.
std::uint8_t windowAlpha(bool transparent, std::int32_t percent);

// Brings the dialling rules in line with `settings`: access codes, the
// advanced and the special values. LENGTH_CO_EXTENSION changes the rules
// only when it holds a text.
void updateDialingRules(const AppSettings& settings, DialingRules& rules);

}  // namespace pellandor
