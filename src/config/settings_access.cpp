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

std::optional<std::string> readSettingAsProgram(const std::string& path, const std::string& section,
                                                const std::string& key) {
    const IniFile ini = IniFile::snapshot(path);
    // One read of the raw value tells whether the key is there at all.
    std::optional<std::string> stored = ini.find(section, key);
    if (!stored) return std::nullopt;
    std::string value;
    for (SettingsPart part : kSettingsParts) {
        if (readKnown(settingsFields(part), ini, section, key, settingsTextBuffer(part), value)) return value;
    }
    return stored;
}

Status writeSettingAsProgram(const std::string& path, const std::string& section, const std::string& key,
                             const std::string& value) {
    if (!isWritableIniName(section) || !isWritableIniName(key)) {
        return failure("invalid section or key name: [" + section + "] " + key, ErrorCode::InvalidArgument);
    }
    std::string canonicalSection = section;
    std::string canonicalKey = key;
    bool isPassword = false;
    for (SettingsPart part : kSettingsParts) {
        if (canonicalise(settingsFields(part), canonicalSection, canonicalKey, isPassword)) break;
    }

    // A save trims the password first, so blanks and line breaks around it are no error.
    std::string stored = isPassword ? trimBlanks(value) : value;
    if (stored.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
        return failure("a value cannot contain a line break or NUL character");
    }
    // Any other code makes the program fall back to English without a word.
    if (canonicalSection == "LANGUAGE" && canonicalKey == "LAN" && stored != "ENG" && stored != "LOCAL") {
        return failure("LANGUAGE/LAN takes ENG (English) or LOCAL (the language file's local texts), not \"" + stored +
                       "\"; the settings file was not changed");
    }
    if (isPassword && !encodeStoredPassword(std::string(stored), stored)) {
        return failure("the password is too long to be stored (at most 96 bytes); the settings file was not changed");
    }
    return writeIniString(path, canonicalSection, canonicalKey, stored);
}

std::vector<std::pair<std::string, std::string>> listSettings(const std::string& path) {
    AppSettings settings;
    CallLog log;
    DialogState dialog;
    const IniFile ini = IniFile::snapshot(path);
    loadSettings(ini, settings);
    loadCallLog(ini, log, dialog);

    std::vector<std::pair<std::string, std::string>> rows;
    for (SettingsPart part : kSettingsParts) appendRows(rows, settingsFields(part), settings);
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
