#pragma once
// A settings table: each row names a key, its section, how its value is
// converted and which member holds it. load, save, listing and the single-key
// access of the command line all walk the same rows, so they cannot drift.

#include "config/ini_file.h"
#include "config/ini_document.h"
#include "config/ini_write_batch.h"
#include "config/stored_password.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace pellandor {

enum class IniFieldKind { Text, Flag, Number, Password };

template <class Values>
struct IniField {
    const char* section;
    const char* key;
    IniFieldKind kind;
    std::string Values::*text = nullptr;  // Text and Password
    bool Values::*flag = nullptr;
    std::int32_t Values::*number = nullptr;
};

template <class Values>
constexpr IniField<Values> textField(const char* section, const char* key, std::string Values::*m) {
    return {section, key, IniFieldKind::Text, m, nullptr, nullptr};
}
template <class Values>
constexpr IniField<Values> passwordField(const char* section, const char* key, std::string Values::*m) {
    return {section, key, IniFieldKind::Password, m, nullptr, nullptr};
}
template <class Values>
constexpr IniField<Values> flagField(const char* section, const char* key, bool Values::*m) {
    return {section, key, IniFieldKind::Flag, nullptr, m, nullptr};
}
template <class Values>
constexpr IniField<Values> numberField(const char* section, const char* key, std::int32_t Values::*m) {
    return {section, key, IniFieldKind::Number, nullptr, nullptr, m};
}

// The value of a present key as the program converts it.
template <class Values>
std::string convertFieldValue(const IniField<Values>& field, const IniFile& ini, std::size_t textBuffer) {
    switch (field.kind) {
        case IniFieldKind::Flag:
            return ini.getBool(field.section, field.key, 0) != 0 ? "1" : "0";
        case IniFieldKind::Number:
            return std::to_string(static_cast<std::int32_t>(ini.getUInt(field.section, field.key)));
        case IniFieldKind::Password:
            return decodeStoredPassword(ini.getString(field.section, field.key, textBuffer));
        case IniFieldKind::Text:
            break;
    }
    return ini.getString(field.section, field.key, textBuffer);
}

template <class Values>
void assignField(const IniField<Values>& field, Values& values, const std::string& converted) {
    switch (field.kind) {
        case IniFieldKind::Flag:
            values.*field.flag = converted == "1";
            break;
        case IniFieldKind::Number:
            values.*field.number = leadingDecimal(converted);
            break;
        case IniFieldKind::Text:
        case IniFieldKind::Password:
            values.*field.text = converted;
            break;
    }
}

// The value as held in memory, in the form it is written ("0"/"1", "%d",
// text; the password in clear).
template <class Values>
std::string formatField(const IniField<Values>& field, const Values& values) {
    switch (field.kind) {
        case IniFieldKind::Flag:
            return values.*field.flag ? "1" : "0";
        case IniFieldKind::Number:
            return std::to_string(values.*field.number);
        case IniFieldKind::Text:
        case IniFieldKind::Password:
            break;
    }
    return values.*field.text;
}

// A section missing from the file leaves its members as they are; a key
// missing from a present section reads as 0 or empty.
template <class Values>
void loadFields(const IniFile& ini, std::span<const IniField<Values>> fields, Values& values, std::size_t textBuffer) {
    std::string_view section;
    bool present = false;
    for (const auto& field : fields) {
        if (section != field.section) {
            section = field.section;
            present = ini.sectionExists(section);
        }
        if (present) assignField(field, values, convertFieldValue(field, ini, textBuffer));
    }
}

// Queues every row in table order. A password whose enciphered form does not
// fit is skipped, so the file keeps the one it has; returns false then.
template <class Values>
bool queueFields(IniWriteBatch& batch, std::span<const IniField<Values>> fields, const Values& values) {
    bool passwordStored = true;
    for (const auto& field : fields) {
        if (field.kind == IniFieldKind::Password) {
            std::string stored;
            if (!encodeStoredPassword(values.*field.text, stored)) {
                passwordStored = false;
                continue;
            }
            batch.write(field.section, field.key, stored);
            continue;
        }
        batch.write(field.section, field.key, formatField(field, values));
    }
    return passwordStored;
}

template <class Values>
const IniField<Values>* findField(std::span<const IniField<Values>> fields, std::string_view section,
                                  std::string_view key) {
    for (const auto& field : fields) {
        if (iniNamesEqual(field.section, section) && iniNamesEqual(field.key, key)) return &field;
    }
    return nullptr;
}

}  // namespace pellandor
