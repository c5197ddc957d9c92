#include "config/dialing_rule_sections.h"

#include "dialing/dialing_rules.h"

#include <array>

namespace pellandor {

namespace {

using Adv = DialingRuleAdvValues;
using AdvAdv = DialingRuleAdvAdvValues;

constexpr std::array kAdvFields{
    textField<Adv>("DIALING_RULE_ADV", "NUM_ADD_EQUAL", &Adv::equalDigits),
    flagField<Adv>("DIALING_RULE_ADV", "USE_AREA_CODE", &Adv::useAreaCode),
    flagField<Adv>("DIALING_RULE_ADV", "USE_INTERNATIONAL_RULE", &Adv::useInternationalRule),
    flagField<Adv>("DIALING_RULE_ADV", "USE_POPUP_FOR_CHAR", &Adv::usePopupForChar),
    textField<Adv>("DIALING_RULE_ADV", "MIN_POPUP_LENGTH", &Adv::minPopupLength),
};

constexpr std::array kAdvAdvFields{
    flagField<AdvAdv>("DIALING_RULE_ADV_ADV", "USE_NON_STD", &AdvAdv::useNonStandard),
    flagField<AdvAdv>("DIALING_RULE_ADV_ADV", "USE_PREFIX", &AdvAdv::usePrefix),
    textField<AdvAdv>("DIALING_RULE_ADV_ADV", "PREFIX1", &AdvAdv::prefix1),
    textField<AdvAdv>("DIALING_RULE_ADV_ADV", "PREFIX2", &AdvAdv::prefix2),
    textField<AdvAdv>("DIALING_RULE_ADV_ADV", "PREFIX3", &AdvAdv::prefix3),
    textField<AdvAdv>("DIALING_RULE_ADV_ADV", "PREFIX4", &AdvAdv::prefix4),
    textField<AdvAdv>("DIALING_RULE_ADV_ADV", "PREFIX5", &AdvAdv::prefix5),
    flagField<AdvAdv>("DIALING_RULE_ADV_ADV", "USE_CO_EXTENSION_LENGTH", &AdvAdv::useCoExtensionLength),
    textField<AdvAdv>("DIALING_RULE_ADV_ADV", "LENGTH_CO_EXTENSION", &AdvAdv::coExtensionLength),
};

// The dialogs pick their texts by LAN and read it themselves.
void loadLanguageChoice(const IniFile& ini, std::string& lan) {
    if (ini.sectionExists("LANGUAGE")) lan = ini.getString("LANGUAGE", "LAN", kDialingTextBuffer);
}

template <class Values>
Status saveSection(const std::string& path, std::span<const IniField<Values>> fields, const Values& values) {
    IniWriteBatch batch(path);
    queueFields(batch, fields, values);
    return batch.commit();
}

}  // namespace

std::span<const IniField<DialingRuleAdvValues>> dialingRuleAdvFields() {
    return kAdvFields;
}

std::span<const IniField<DialingRuleAdvAdvValues>> dialingRuleAdvAdvFields() {
    return kAdvAdvFields;
}

void loadDialingRuleAdv(const std::string& path, DialingRuleAdvValues& values) {
    loadDialingRuleAdv(IniFile::snapshot(path), values);
}

void loadDialingRuleAdv(const IniFile& ini, DialingRuleAdvValues& values) {
    loadFields(ini, dialingRuleAdvFields(), values, kDialingTextBuffer);
    loadLanguageChoice(ini, values.language);
}

void loadDialingRuleAdvAdv(const std::string& path, DialingRuleAdvAdvValues& values) {
    loadDialingRuleAdvAdv(IniFile::snapshot(path), values);
}

void loadDialingRuleAdvAdv(const IniFile& ini, DialingRuleAdvAdvValues& values) {
    loadFields(ini, dialingRuleAdvAdvFields(), values, kDialingTextBuffer);
    loadLanguageChoice(ini, values.language);
}

Status saveDialingRuleAdv(const std::string& path, const DialingRuleAdvValues& values) {
    return saveSection(path, dialingRuleAdvFields(), values);
}

Status saveDialingRuleAdvAdv(const std::string& path, const DialingRuleAdvAdvValues& values) {
    return saveSection(path, dialingRuleAdvAdvFields(), values);
}

void copyInDialingRuleAdvAdv(const DialingRuleAdvAdvValues& special, DialingRules& rules) {
    rules.useNonStandard = special.useNonStandard;
    rules.usePrefix = special.usePrefix;
    rules.prefix1 = special.prefix1;
    rules.prefix2 = special.prefix2;
    rules.prefix3 = special.prefix3;
    rules.prefix4 = special.prefix4;
    rules.prefix5 = special.prefix5;
    rules.useCoExtensionLength = special.useCoExtensionLength;
    if (!special.coExtensionLength.empty()) {
        rules.coExtensionLength = leadingDecimal(special.coExtensionLength);
    }
}

void copyInDialingRuleAdv(const DialingRuleAdvValues& advanced, const DialingRuleAdvAdvValues& special,
                          DialingRules& rules) {
    rules.equalDigits = advanced.equalDigits;
    rules.useAreaCode = advanced.useAreaCode;
    rules.useInternationalRule = advanced.useInternationalRule;
    rules.usePopupForChar = advanced.usePopupForChar;
    rules.minPopupLength = leadingDecimal(advanced.minPopupLength);
    copyInDialingRuleAdvAdv(special, rules);
}

}  // namespace pellandor
