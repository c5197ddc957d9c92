#include "config/dialing_rule_sections.h"

#include "dialing/dialing_rules.h"

#include <array>

namespace pellandor {

namespace {

using Adv = DialingRuleAdvValues;
using AdvAdv = DialingRuleAdvAdvValues;

constexpr std::array kAdvFields{
    TextField<Adv>("DIALING_RULE_ADV", "NUM_ADD_EQUAL", &Adv::NUM_ADD_EQUAL),
    FlagField<Adv>("DIALING_RULE_ADV", "USE_AREA_CODE", &Adv::USE_AREA_CODE),
    FlagField<Adv>("DIALING_RULE_ADV", "USE_INTERNATIONAL_RULE", &Adv::USE_INTERNATIONAL_RULE),
    FlagField<Adv>("DIALING_RULE_ADV", "USE_POPUP_FOR_CHAR", &Adv::USE_POPUP_FOR_CHAR),
    TextField<Adv>("DIALING_RULE_ADV", "MIN_POPUP_LENGTH", &Adv::MIN_POPUP_LENGTH),
};

constexpr std::array kAdvAdvFields{
    FlagField<AdvAdv>("DIALING_RULE_ADV_ADV", "USE_NON_STD", &AdvAdv::USE_NON_STD),
    FlagField<AdvAdv>("DIALING_RULE_ADV_ADV", "USE_PREFIX", &AdvAdv::USE_PREFIX),
    TextField<AdvAdv>("DIALING_RULE_ADV_ADV", "PREFIX1", &AdvAdv::PREFIX1),
    TextField<AdvAdv>("DIALING_RULE_ADV_ADV", "PREFIX2", &AdvAdv::PREFIX2),
    TextField<AdvAdv>("DIALING_RULE_ADV_ADV", "PREFIX3", &AdvAdv::PREFIX3),
    TextField<AdvAdv>("DIALING_RULE_ADV_ADV", "PREFIX4", &AdvAdv::PREFIX4),
    TextField<AdvAdv>("DIALING_RULE_ADV_ADV", "PREFIX5", &AdvAdv::PREFIX5),
    FlagField<AdvAdv>("DIALING_RULE_ADV_ADV", "USE_CO_EXTENSION_LENGTH", &AdvAdv::USE_CO_EXTENSION_LENGTH),
    TextField<AdvAdv>("DIALING_RULE_ADV_ADV", "LENGTH_CO_EXTENSION", &AdvAdv::LENGTH_CO_EXTENSION),
};

// The dialogs pick their texts by LAN and read it themselves.
void LoadLanguageChoice(const CIni& ini, std::string& lan) {
    if (ini.SectionExists("LANGUAGE")) lan = ini.GetString("LANGUAGE", "LAN", kDialingTextBuffer);
}

template <class Values>
bool SaveSection(const std::string& path, std::span<const IniField<Values>> fields, const Values& values,
                 std::string& error) {
    CIniWriteBatch batch(path);
    QueueFields(batch, fields, values);
    const bool ok = batch.Commit();
    error = batch.LastError();
    return ok;
}

}  // namespace

std::span<const IniField<DialingRuleAdvValues>> DialingRuleAdvFields() {
    return kAdvFields;
}

std::span<const IniField<DialingRuleAdvAdvValues>> DialingRuleAdvAdvFields() {
    return kAdvAdvFields;
}

void LoadDialingRuleAdv(const std::string& path, DialingRuleAdvValues& values) {
    LoadDialingRuleAdv(CIni::Snapshot(path), values);
}

void LoadDialingRuleAdv(const CIni& ini, DialingRuleAdvValues& values) {
    LoadFields(ini, DialingRuleAdvFields(), values, kDialingTextBuffer);
    LoadLanguageChoice(ini, values.LAN);
}

void LoadDialingRuleAdvAdv(const std::string& path, DialingRuleAdvAdvValues& values) {
    LoadDialingRuleAdvAdv(CIni::Snapshot(path), values);
}

void LoadDialingRuleAdvAdv(const CIni& ini, DialingRuleAdvAdvValues& values) {
    LoadFields(ini, DialingRuleAdvAdvFields(), values, kDialingTextBuffer);
    LoadLanguageChoice(ini, values.LAN);
}

bool SaveDialingRuleAdv(const std::string& path, const DialingRuleAdvValues& values, std::string& error) {
    return SaveSection(path, DialingRuleAdvFields(), values, error);
}

bool SaveDialingRuleAdvAdv(const std::string& path, const DialingRuleAdvAdvValues& values, std::string& error) {
    return SaveSection(path, DialingRuleAdvAdvFields(), values, error);
}

void CopyInDialingRuleAdvAdv(const DialingRuleAdvAdvValues& special, DialingRules& rules) {
    rules.USE_NON_STD = special.USE_NON_STD;
    rules.USE_PREFIX = special.USE_PREFIX;
    rules.PREFIX1 = special.PREFIX1;
    rules.PREFIX2 = special.PREFIX2;
    rules.PREFIX3 = special.PREFIX3;
    rules.PREFIX4 = special.PREFIX4;
    rules.PREFIX5 = special.PREFIX5;
    rules.USE_CO_EXTENSION_LENGTH = special.USE_CO_EXTENSION_LENGTH;
    if (!special.LENGTH_CO_EXTENSION.empty()) {
        rules.LENGTH_CO_EXTENSION = LeadingDecimal(special.LENGTH_CO_EXTENSION);
    }
}

void CopyInDialingRuleAdv(const DialingRuleAdvValues& advanced, const DialingRuleAdvAdvValues& special,
                          DialingRules& rules) {
    rules.NUM_ADD_EQUAL = advanced.NUM_ADD_EQUAL;
    rules.USE_AREA_CODE = advanced.USE_AREA_CODE;
    rules.USE_INTERNATIONAL_RULE = advanced.USE_INTERNATIONAL_RULE;
    rules.USE_POPUP_FOR_CHAR = advanced.USE_POPUP_FOR_CHAR;
    rules.MIN_POPUP_LENGTH = LeadingDecimal(advanced.MIN_POPUP_LENGTH);
    CopyInDialingRuleAdvAdv(special, rules);
}

}  // namespace pellandor
