#include "config/settings_access.h"

#include "config/atomic_file.h"
#include "config/cini.h"
#include "config/ini_write_batch.h"
#include "dialing/text_utils.h"

namespace pellandor {

namespace {

// Finds a known row in `fields` and either converts it (reading) or gives
// its spelling (writing).
template <class Values>
bool ReadKnown(std::span<const IniField<Values>> fields, const CIni& ini, const std::string& section,
               const std::string& key, std::size_t textBuffer, std::string& value) {
    const IniField<Values>* field = FindField(fields, section, key);
    if (field == nullptr) return false;
    value = ConvertFieldValue(*field, ini, textBuffer);
    return true;
}

template <class Values>
void AppendRows(std::vector<std::pair<std::string, std::string>>& rows, std::span<const IniField<Values>> fields,
                const Values& values) {
    for (const auto& field : fields) {
        rows.emplace_back(std::string(field.section) + "/" + field.key, FormatField(field, values));
    }
}

template <class Values>
bool Canonicalise(std::span<const IniField<Values>> fields, std::string& section, std::string& key, bool& isPassword) {
    const IniField<Values>* field = FindField(fields, section, key);
    if (field == nullptr) return false;
    section = field->section;
    key = field->key;
    isPassword = field->kind == IniFieldKind::Password;
    return true;
}

}  // namespace

StartupState LoadStartupState(const std::string& settingsPath, const std::string& languagePath) {
    StartupState state;
    if (CheckReadableFile(settingsPath, state.settingsFileError) != FileReadStatus::Failed) {
        state.settingsFileError.clear();
    }
    // One read of the settings file for all its loads.
    const CIni settings = CIni::Snapshot(settingsPath);
    LoadCallLog(settings, state.callLog, state.dialogState);
    LoadDialingRuleAdvAdv(settings, state.special);
    state.specialTexts.LoadLanguage(languagePath, state.special.LAN);
    LoadDialingRuleAdv(settings, state.advanced);
    state.advancedTexts.LoadLanguage(languagePath, state.advanced.LAN);
    LoadSettings(settings, state.settings);
    state.language.LoadLanguage(languagePath, state.settings.language);
    PushToCallDialog(state.settings, state.callDialog);
    PushDialingCodes(state.settings, state.rules);
    CopyInDialingRuleAdv(state.advanced, state.special, state.rules);
    return state;
}

bool ReadSettingAsProgram(const std::string& path, const std::string& section, const std::string& key,
                          std::string& value) {
    const CIni ini = CIni::Snapshot(path);
    // One read of the raw value tells whether the key is there at all.
    auto stored = ini.Find(section, key);
    if (!stored) return false;
    if (ReadKnown(AppSettingsFields(), ini, section, key, kSettingsTextBuffer, value)) return true;
    if (ReadKnown(DialingRuleAdvFields(), ini, section, key, kDialingTextBuffer, value)) return true;
    if (ReadKnown(DialingRuleAdvAdvFields(), ini, section, key, kDialingTextBuffer, value)) return true;
    value = std::move(*stored);
    return true;
}

SettingWriteResult WriteSettingAsProgram(const std::string& path, const std::string& section, const std::string& key,
                                         const std::string& value, std::string& error) {
    error.clear();
    if (!IsWritableIniName(section) || !IsWritableIniName(key)) {
        error = "invalid section or key name: [" + section + "] " + key;
        return SettingWriteResult::InvalidName;
    }
    std::string canonicalSection = section;
    std::string canonicalKey = key;
    bool isPassword = false;
    Canonicalise(AppSettingsFields(), canonicalSection, canonicalKey, isPassword) ||
        Canonicalise(DialingRuleAdvFields(), canonicalSection, canonicalKey, isPassword) ||
        Canonicalise(DialingRuleAdvAdvFields(), canonicalSection, canonicalKey, isPassword);

    // A save trims the password first, so blanks and line breaks around it are no error.
    std::string stored = isPassword ? TrimBlanks(value) : value;
    if (stored.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
        error = "a value cannot contain a line break or NUL character";
        return SettingWriteResult::InvalidValue;
    }
    if (isPassword && !EncodeStoredPassword(std::string(stored), stored)) {
        error = "the password is too long to be stored (at most 96 bytes); the settings file was not changed";
        return SettingWriteResult::PasswordTooLong;
    }
    if (!WriteIniString(path, canonicalSection, canonicalKey, stored, error)) {
        return SettingWriteResult::WriteFailed;
    }
    return SettingWriteResult::Ok;
}

std::vector<std::pair<std::string, std::string>> ListSettings(const std::string& path) {
    AppSettings settings;
    DialingRuleAdvValues advanced;
    DialingRuleAdvAdvValues special;
    CallLog log;
    DialogState dialog;
    const CIni ini = CIni::Snapshot(path);
    LoadSettings(ini, settings);
    LoadDialingRuleAdv(ini, advanced);
    LoadDialingRuleAdvAdv(ini, special);
    LoadCallLog(ini, log, dialog);

    std::vector<std::pair<std::string, std::string>> rows;
    AppendRows(rows, AppSettingsFields(), settings);
    AppendRows(rows, DialingRuleAdvFields(), advanced);
    AppendRows(rows, DialingRuleAdvAdvFields(), special);
    rows.emplace_back("CALL_LOG/MAX_NUM_LOG", std::to_string(log.limit));
    rows.emplace_back("CALL_LOG/NUM_LOG", std::to_string(log.count));
    const std::vector<std::string> entries = NumberBoxEntries(log);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        rows.emplace_back("CALL_LOG/LOG" + std::to_string(i), entries[i]);
    }
    rows.emplace_back("DLG_POS/X", std::to_string(dialog.dialogX));
    rows.emplace_back("DLG_POS/Y", std::to_string(dialog.dialogY));
    rows.emplace_back("DLG_STATUS/IS_MAX", dialog.dialogIsMax ? "1" : "0");
    return rows;
}

}  // namespace pellandor
