#include "config/language_table.h"

#include "config/ini_file.h"

#include <array>

namespace pellandor {

namespace {

constexpr std::array<LanguageKey, 61> kMainKeys{{
    {"CAPTION", "Settings"},
    {"USER_INFO", "User Information"},
    {"ID", "ID"},
    {"PW", "PW"},
    {"PN", "Phone"},
    {"SYS_INFO", "System Information"},
    {"IP", "IP Address"},
    {"PORT", "Port"},
    {"FUNCTION", "Functions"},
    {"DISAPPEARANCE_CHECKBOX",
     "Auto disappearance unless modifying call numbers or, clicking the call or hangup button."},
    {"DISAPPEARANCE_SECONDS", "seconds"},
    {"DISAPPEARANCE_AFTER_SUCCESS", "After success calling or hangup, auto disapperance 3 seconds later"},
    {"TRANSPARENCY_CHECKBOX", "Transparent window"},
    {"ENTERKEY_CHECKBOX", "Making a call using Enter-Key"},
    {"TOPMOST_CHECKBOX", "Top window as pop-up"},
    {"HANGUP_CHECKBOX", "Showing hangup button"},
    {"FIXEDPOS_CHECKBOX", "Fixed postion as pop-up"},
    {"AUTOSTART_CHECKBOX", "Auto start on startup Windows"},
    {"AUTOCALL_CHECKBOX", "Making a call as pop-up"},
    {"HOTKEY_CHECKBOX", "Hotkey for pop-up"},
    {"HOTKEY_MOD", "First Key"},
    {"HOTKEY_VIRTUAL", "Second Key"},
    {"LANGUAGE", "Language"},
    {"LANGUAGE_LOCAL", "Local"},
    {"LANGUAGE_ENG", "Enlglish"},
    {"OK", "OK"},
    {"CANCEL", "CANCEL"},
    {"APPLY", "APPLY"},
    {"DIALING_RULE", "Dialing Information"},
    {"DIALING_CO", "CO"},
    {"DIAING_NATION", "Nation"},
    {"DIALING_AREA", "Area"},
    {"DIALING_INTER", "International"},
    {"DIALING_PBX", "PBX"},
    {"DIALING_LONG", "Long Distance"},
    {"DIALING_CHECKBOX_ADDZERO", "Add a zero before the area code when dialing within the country"},
    {"DIALING_ADV", "Advanced"},
    {"CALLDLG", "Pellandor"},
    {"SETTINGS", "Settings"},
    {"EXIT", "Quit"},
    {"CALLDLG_WHILE_SETTINGS", "Please, close the settings dialog."},
    {"RS_RESULT", "Result"},
    {"RS_CALL_FAIL", "Making the call failed."},
    {"RS_HANGUP_FAIL", "Hanging up the phone failed."},
    {"RS_AUTH_FAIL", "Authorization Failed. Checkif your ID, PW, or Phone Number is valid."},
    {"RS_ACCESS_DENIED", ""},
    {"RS_CALL_RESTRICTED", ""},
    {"RS_CALL_NOK", ""},
    {"RS_CALLER_BUSY", "Check if your phone is available."},
    {"RS_UNKNOWN_ERROR", ""},
    {"RS_CODE_EMPTY", ""},
    {"RS_DONOT_RECEIVE", "Check out if your system IP address or Port is valid."},
    {"RS_NOT_USER_INFO", "Your ID, PW or Phone Number is not entered in the Settings."},
    {"RS_NOT_SYS_INFO", "Your system IP Address or Port is not entered in the Settings."},
    {"RS_NOT_USER_SYS_INFO",
     "Your user information(ID, PW or Phone Number) and system information(IP Address or Port) are not "
     "entered in the Settings."},
    {"AL_NO_RUN_WITH_NELVO_CLIENT", "Ulvex Pellandor does not run if Nelvo Client is running."},
    // The program's own messages; %1 stands for a file's path.
    {"AL_PORT_RANGE", "Please enter a port number from 1 to 65535."},
    {"AL_PW_TOO_LONG", "The password is too long to be stored. Nothing was saved."},
    {"AL_SETTINGS_NOT_SAVED",
     "The settings could not be saved to %1. Nothing was changed; your entries are still in the dialog."},
    {"AL_DIALING_NOT_SAVED",
     "The dialing rules could not be saved to %1. Nothing was changed; your entries are still in the dialog."},
    {"AL_NO_CRASH_FILE", "Ulvex Pellandor crashed. No crash dump file could be written."},
}};

constexpr std::array<LanguageKey, 10> kDialingAdvKeys{{
    {"DIALING_ADV_CAPTION", "Advanced Dialing Information"},
    {"DIALING_ADV_ADDEQUALNUM", "Insert Numbers if '='is found"},
    {"DIALING_ADV_CHECKBOX_DIALINGAREACODE", "Dial area access code in same area"},
    {"DIALING_ADV_CHECKBOX_INTERNATIONAL", "Enable international telephone number rule(+)"},
    {"DIALING_ADV_POPUP_FOR_CHAR", "Always Popup for characters including numbers"},
    {"DIALING_ADV_POPUPLENGTH", "Minimum highlighted number length for pop-up"},
    {"DIALING_ADV_FAIL_TO_SAVE_LENGTH", "Please input 1~30 for minimum number length for pop-up."},
    {"DIALING_ADV_ADV", "Special"},
    {"OK", "OK"},
    {"CANCEL", "CANCEL"},
}};

constexpr std::array<LanguageKey, 11> kDialingAdvAdvKeys{{
    {"DIALING_ADV_ADV_CAPTION", "Special Dialing Information"},
    {"DIALING_ADV_ADV_CHECKBOX_NONSTD", "Enable CO call for non-standard phone number"},
    {"DIALING_ADV_ADV_CHECKBOX_PREFIX", "Enable CO call with foloowing prefix digits"},
    {"DIALING_ADV_ADV_PREFIX1", "Prefix1"},
    {"DIALING_ADV_ADV_PREFIX2", "Prefix2"},
    {"DIALING_ADV_ADV_PREFIX3", "Prefix3"},
    {"DIALING_ADV_ADV_PREFIX4", "Prefix4"},
    {"DIALING_ADV_ADV_PREFIX5", "Prefix5"},
    {"DIALING_ADV_ADV_CHECKBOX_LENGTHEXTENSTION", "Enable CO call with following number length"},
    {"OK", "OK"},
    {"CANCEL", "CANCEL"},
}};

}  // namespace

std::span<const LanguageKey> mainLanguageKeys() {
    return kMainKeys;
}

std::span<const LanguageKey> dialingAdvLanguageKeys() {
    return kDialingAdvKeys;
}

std::span<const LanguageKey> dialingAdvAdvLanguageKeys() {
    return kDialingAdvAdvKeys;
}

LanguageTable::LanguageTable(std::span<const LanguageKey> keys, std::size_t textBuffer)
    : keys_(keys), textBuffer_(textBuffer), texts_(keys.size()) {
}

void LanguageTable::loadLanguage(const std::string& languagePath, std::string& language) {
    const IniFile ini = IniFile::snapshot(languagePath);
    const char* section = nullptr;
    // Codes compare exactly: "eng" is no match and falls back like a missing section.
    if (ini.sectionExists("LOCAL") && language == "LOCAL") {
        section = "LOCAL";
    } else if (ini.sectionExists("ENG") && language == "ENG") {
        section = "ENG";
    }
    if (section == nullptr) {
        language = "ENG";
        for (std::size_t i = 0; i < keys_.size(); ++i) texts_[i] = keys_[i].english;
        return;
    }
    for (std::size_t i = 0; i < keys_.size(); ++i) texts_[i] = ini.getString(section, keys_[i].key, textBuffer_);
}

std::string LanguageTable::message(std::string_view key) const {
    for (std::size_t i = 0; i < keys_.size(); ++i) {
        if (key == keys_[i].key) return texts_[i].empty() ? std::string(keys_[i].english) : texts_[i];
    }
    return {};
}

const std::string& LanguageTable::text(std::string_view key) const {
    static const std::string kEmpty;
    for (std::size_t i = 0; i < keys_.size(); ++i) {
        if (key == keys_[i].key) return texts_[i];
    }
    return kEmpty;
}

}  // namespace pellandor
