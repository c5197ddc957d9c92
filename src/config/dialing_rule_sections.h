#pragma once
// The two dialling-rule sections of the settings file, as the advanced and the
// special dialing dialogs hold them, and their copy into DialingRules.

#include "base/result.h"
#include "config/ini_field_table.h"

#include <span>
#include <string>

namespace pellandor {

class DialingRules;

// texts of these sections are held as a 100-byte buffer would hold them.
inline constexpr std::size_t kDialingTextBuffer = 100;

// Initialisers: the values when the section is missing from the file.
struct DialingRuleAdvValues {
    std::string language = "ENG";
    std::string equalDigits;
    std::string minPopupLength = "3";
    bool useAreaCode = false;
    bool useInternationalRule = false;
    bool usePopupForChar = true;
};

struct DialingRuleAdvAdvValues {
    std::string language = "ENG";
    bool useNonStandard = false;
    bool usePrefix = false;
    std::string prefix1, prefix2, prefix3, prefix4, prefix5;
    bool useCoExtensionLength = false;
    std::string coExtensionLength;
};

// Write order of each section.
std::span<const IniField<DialingRuleAdvValues>> dialingRuleAdvFields();
std::span<const IniField<DialingRuleAdvAdvValues>> dialingRuleAdvAdvFields();

// Reads the section and LANGUAGE/LAN; what the file lacks keeps its value.
void loadDialingRuleAdv(const std::string& path, DialingRuleAdvValues& values);
void loadDialingRuleAdvAdv(const std::string& path, DialingRuleAdvAdvValues& values);
// The same two from a reader of the file (a snapshot shared by several loads).
void loadDialingRuleAdv(const IniFile& ini, DialingRuleAdvValues& values);
void loadDialingRuleAdvAdv(const IniFile& ini, DialingRuleAdvAdvValues& values);

// Each writes its whole section in one atomic replacement of the file.
Status saveDialingRuleAdv(const std::string& path, const DialingRuleAdvValues& values);
Status saveDialingRuleAdvAdv(const std::string& path, const DialingRuleAdvAdvValues& values);

// The special values only; LENGTH_CO_EXTENSION changes only for a non-empty text.
void copyInDialingRuleAdvAdv(const DialingRuleAdvAdvValues& special, DialingRules& rules);

// The advanced values, then the special ones.
void copyInDialingRuleAdv(const DialingRuleAdvValues& advanced, const DialingRuleAdvAdvValues& special,
                          DialingRules& rules);

}  // namespace pellandor
