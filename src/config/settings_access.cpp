#include "config/settings_access.h"

#include "platform/atomic_file.h"
#include "config/ini_file.h"
#include "config/ini_write_batch.h"
#include "dialing/text_utils.h"

namespace pellandor {

namespace {

// Finds a known row in `fields` and either converts it (reading) or gives
// its spelling (writing).
template <class Values>
bool readKnown(std::span<const IniField<Values>> fields, const IniFile& ini, const std::string& section,
               const std::string& key, std::size_t textBuffer, std::string& value) {
    const IniField<Values>* field = findField(fields, section, key);
    if (field == nullptr) return false;
    value = convertFieldValue(*field, ini, textBuffer);
    return true;
}

template <class Values>
void appendRows(std::vector<std::pair<std::string, std::string>>& rows, std::span<const IniField<Values>> fields,
                const Values& values) {
    for (const auto& field : fields) {
        rows.emplace_back(std::string(field.section) + "/" + field.key, formatField(field, values));
    }
}

template <class Values>
bool canonicalise(std::span<const IniField<Values>> fields, std::string& section, std::string& key, bool& isPassword) {
    const IniField<Values>* field = findField(fields, section, key);
    if (field == nullptr) return false;
    section = field->section;
    key = field->key;
    isPassword = field->kind == IniFieldKind::Password;
    return true;
}

}  // namespace

StartupState loadStartupState(const std::string& settingsPath, const std::string& languagePath) {
    StartupState state;
    state.settingsFileError = checkReadableFile(settingsPath).error();
    // One read of the settings file for all its loads.
    const IniFile settings = IniFile::snapshot(settingsPath);
    loadCallLog(settings, state.callLog, state.dialogState);
    loadDialingRuleAdvAdv(settings, state.special);
    state.specialTexts.loadLanguage(languagePath, state.special.language);
    loadDialingRuleAdv(settings, state.advanced);
    state.advancedTexts.loadLanguage(languagePath, state.advanced.language);
    loadSettings(settings, state.settings);
    state.language.loadLanguage(languagePath, state.settings.language);
    pushToCallDialog(state.settings, state.callDialog);
    pushDialingCodes(state.settings, state.rules);
    copyInDialingRuleAdv(state.advanced, state.special, state.rules);
    return state;
}

bool readSettingAsProgram(const std::string& path, const std::string& section, const std::string& key,
                          std::string& value) {
    const IniFile ini = IniFile::snapshot(path);
    // One read of the raw value tells whether the key is there at all.
    auto stored = ini.find(section, key);
    if (!stored) return false;
    if (readKnown(appSettingsFields(), ini, section, key, kSettingsTextBuffer, value)) return true;
    if (readKnown(dialingRuleAdvFields(), ini, section, key, kDialingTextBuffer, value)) return true;
    if (readKnown(dialingRuleAdvAdvFields(), ini, section, key, kDialingTextBuffer, value)) return true;
    value = std::move(*stored);
    return true;
}

SettingWriteResult writeSettingAsProgram(const std::string& path, const std::string& section, const std::string& key,
                                         const std::string& value, std::string& error) {
    error.clear();
    if (!isWritableIniName(section) || !isWritableIniName(key)) {
        error = "invalid section or key name: [" + section + "] " + key;
        return SettingWriteResult::InvalidName;
    }
    std::string canonicalSection = section;
    std::string canonicalKey = key;
    bool isPassword = false;
    canonicalise(appSettingsFields(), canonicalSection, canonicalKey, isPassword) ||
        canonicalise(dialingRuleAdvFields(), canonicalSection, canonicalKey, isPassword) ||
        canonicalise(dialingRuleAdvAdvFields(), canonicalSection, canonicalKey, isPassword);

    // A save trims the password first, so blanks and line breaks around it are no error.
    std::string stored = isPassword ? trimBlanks(value) : value;
    if (stored.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
        error = "a value cannot contain a line break or NUL character";
        return SettingWriteResult::InvalidValue;
    }
    if (isPassword && !encodeStoredPassword(std::string(stored), stored)) {
        error = "the password is too long to be stored (at most 96 bytes); the settings file was not changed";
        return SettingWriteResult::PasswordTooLong;
    }
    if (const Status written = writeIniString(path, canonicalSection, canonicalKey, stored); !written) {
        error = written.error();
        return SettingWriteResult::WriteFailed;
    }
    return SettingWriteResult::Ok;
}

std::vector<std::pair<std::string, std::string>> listSettings(const std::string& path) {
    AppSettings settings;
    DialingRuleAdvValues advanced;
    DialingRuleAdvAdvValues special;
    CallLog log;
    DialogState dialog;
    const IniFile ini = IniFile::snapshot(path);
    loadSettings(ini, settings);
    loadDialingRuleAdv(ini, advanced);
    loadDialingRuleAdvAdv(ini, special);
    loadCallLog(ini, log, dialog);

    std::vector<std::pair<std::string, std::string>> rows;
    appendRows(rows, appSettingsFields(), settings);
    appendRows(rows, dialingRuleAdvFields(), advanced);
    appendRows(rows, dialingRuleAdvAdvFields(), special);
    rows.emplace_back("CALL_LOG/MAX_NUM_LOG", std::to_string(log.limit));
    rows.emplace_back("CALL_LOG/NUM_LOG", std::to_string(log.count));
    const std::vector<std::string> entries = numberBoxEntries(log);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        rows.emplace_back("CALL_LOG/LOG" + std::to_string(i), entries[i]);
    }
    rows.emplace_back("DLG_POS/X", std::to_string(dialog.dialogX));
    rows.emplace_back("DLG_POS/Y", std::to_string(dialog.dialogY));
    rows.emplace_back("DLG_STATUS/IS_MAX", dialog.dialogIsMax ? "1" : "0");
    return rows;
}

}  // namespace pellandor
