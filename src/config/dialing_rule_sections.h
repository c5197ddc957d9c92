#pragma once
// The two dialling-rule sections of the settings file, as the advanced and the
// special dialing dialogs hold them, and their copy into DialingRules.

#include "config/ini_field_table.h"

#include <span>
#include <string>

namespace pellandor {

class DialingRules;

// Texts of these sections are held as a 100-byte buffer would hold them.
inline constexpr std::size_t kDialingTextBuffer = 100;

// Initialisers: the values when the section is missing from the file.
struct DialingRuleAdvValues {
    std::string LAN = "ENG";
    std::string NUM_ADD_EQUAL;
    std::string MIN_POPUP_LENGTH = "3";
    bool USE_AREA_CODE = false;
    bool USE_INTERNATIONAL_RULE = false;
    bool USE_POPUP_FOR_CHAR = true;
};

struct DialingRuleAdvAdvValues {
    std::string LAN = "ENG";
    bool USE_NON_STD = false;
    bool USE_PREFIX = false;
    std::string PREFIX1, PREFIX2, PREFIX3, PREFIX4, PREFIX5;
    bool USE_CO_EXTENSION_LENGTH = false;
    std::string LENGTH_CO_EXTENSION;
};

// Write order of each section.
std::span<const IniField<DialingRuleAdvValues>> DialingRuleAdvFields();
std::span<const IniField<DialingRuleAdvAdvValues>> DialingRuleAdvAdvFields();

// Reads the section and LANGUAGE/LAN; what the file lacks keeps its value.
void LoadDialingRuleAdv(const std::string& path, DialingRuleAdvValues& values);
void LoadDialingRuleAdvAdv(const std::string& path, DialingRuleAdvAdvValues& values);
// The same two from a reader of the file (a snapshot shared by several loads).
void LoadDialingRuleAdv(const CIni& ini, DialingRuleAdvValues& values);
void LoadDialingRuleAdvAdv(const CIni& ini, DialingRuleAdvAdvValues& values);

// Each writes its whole section in one atomic replacement of the file.
bool SaveDialingRuleAdv(const std::string& path, const DialingRuleAdvValues& values, std::string& error);
bool SaveDialingRuleAdvAdv(const std::string& path, const DialingRuleAdvAdvValues& values, std::string& error);

// The special values only; LENGTH_CO_EXTENSION changes only for a non-empty text.
void CopyInDialingRuleAdvAdv(const DialingRuleAdvAdvValues& special, DialingRules& rules);

// The advanced values, then the special ones.
void CopyInDialingRuleAdv(const DialingRuleAdvValues& advanced, const DialingRuleAdvAdvValues& special,
                          DialingRules& rules);

}  // namespace pellandor
