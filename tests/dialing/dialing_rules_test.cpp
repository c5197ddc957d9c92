#include "dialing/dialing_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace pellandor {
namespace {

using namespace std::string_literals;

// Plan K: a Korean plan with the zero added before area codes.
void PlanK(DialingRules& r) {
    r.CO_ACCESS_CODE = "9";
    r.MYCOUNTRY_CODE = "82";
    r.MYAREA_CODE = "031";
    r.INTER_CODE = "001";
    r.USE_ADDZERO = true;
}

// Plan U: a North American plan.
void PlanU(DialingRules& r) {
    r.CO_ACCESS_CODE = "9";
    r.MYCOUNTRY_CODE = "1";
    r.MYAREA_CODE = "212";
    r.INTER_CODE = "011";
    r.LONG_CODE = "1";
}

using Tweak = void (*)(DialingRules&);

struct BuildCase {
    const char* name;  // test name suffix
    Tweak plan;
    Tweak tweak;       // changes on top of the plan, or nullptr
    std::string text;
    std::string expected;
};

void PrintTo(const BuildCase& c, std::ostream* os) {
    *os << "[" << c.text << "] -> [" << c.expected << "]";
}

class BuildDialStringTest : public testing::TestWithParam<BuildCase> {};

TEST_P(BuildDialStringTest, GivesExpectedDialString) {
    const BuildCase& c = GetParam();
    DialingRules rules;
    c.plan(rules);
    if (c.tweak) c.tweak(rules);
    EXPECT_EQ(rules.BuildDialString(c.text), c.expected) << "input: [" << c.text << "]";
}

std::string CaseName(const testing::TestParamInfo<BuildCase>& info) {
    return info.param.name;
}

// The reference examples under plan K.
INSTANTIATE_TEST_SUITE_P(PlanKTable, BuildDialStringTest, testing::Values(
    BuildCase{"Extension4", PlanK, nullptr, "1234", "1234"},
    BuildCase{"Extension6", PlanK, nullptr, "123456", "123456"},
    BuildCase{"Plain7IsCo", PlanK, nullptr, "1234567", "91234567"},
    BuildCase{"OwnAreaLeftOut", PlanK, nullptr, "0311234567", "91234567"},
    BuildCase{"NoAreaFoundPlainCo", PlanK, nullptr, "021234567", "9021234567"},
    BuildCase{"OwnCountryOwnArea", PlanK, nullptr, "+82 31 123 4567", "91234567"},
    BuildCase{"OwnCountryOtherArea", PlanK, nullptr, "+82-2-123-4567", "9021234567"},
    BuildCase{"OwnCountryNoAreaGetsZero", PlanK, nullptr, "+82311234567", "90311234567"},
    BuildCase{"OwnCountryMobile", PlanK, nullptr, "+82 10-1234-5678", "901012345678"},
    BuildCase{"ThreePartsOwnArea", PlanK, nullptr, "031-123-4567", "91234567"},
    BuildCase{"BracketedArea", PlanK, nullptr, "(02) 123-4567", "9021234567"},
    BuildCase{"FourPartsCountryAndArea", PlanK, nullptr, "82-31-123-4567", "91234567"},
    BuildCase{"ForeignCountry", PlanK, nullptr, "+1 212 555 1234", "900112125551234"}),
    CaseName);

// Plan K with one rule switched on.
INSTANTIATE_TEST_SUITE_P(PlanKVariants, BuildDialStringTest, testing::Values(
    BuildCase{"UseAreaCodeKeepsOwnArea", PlanK,
              [](DialingRules& r) { r.USE_AREA_CODE = true; },
              "031-123-4567", "90311234567"},
    BuildCase{"InternationalRuleNoCountryWithoutPlus", PlanK,
              [](DialingRules& r) { r.USE_INTERNATIONAL_RULE = true; },
              "82-31-123-4567", "982311234567"},
    BuildCase{"PbxCodePlain", PlanK, [](DialingRules& r) { r.PBX_CODE = "8"; },
              "1234567", "981234567"},
    BuildCase{"PbxCodeSeparated", PlanK, [](DialingRules& r) { r.PBX_CODE = "8"; },
              "123-4567", "981234567"},
    BuildCase{"PrefixMatches", PlanK,
              [](DialingRules& r) { r.USE_NON_STD = r.USE_PREFIX = true; r.PREFIX1 = "114"; },
              "114", "9114"},
    BuildCase{"PrefixNoMatchStaysExtension", PlanK,
              [](DialingRules& r) { r.USE_NON_STD = r.USE_PREFIX = true; r.PREFIX1 = "114"; },
              "123456", "123456"},
    BuildCase{"LengthRuleBelow", PlanK,
              [](DialingRules& r) {
                  r.USE_NON_STD = r.USE_CO_EXTENSION_LENGTH = true;
                  r.LENGTH_CO_EXTENSION = 5;
              },
              "1234", "1234"},
    BuildCase{"LengthRuleReached", PlanK,
              [](DialingRules& r) {
                  r.USE_NON_STD = r.USE_CO_EXTENSION_LENGTH = true;
                  r.LENGTH_CO_EXTENSION = 5;
              },
              "12345", "912345"},
    BuildCase{"LengthRuleWithoutNonStdDisablesFixed7", PlanK,
              [](DialingRules& r) { r.USE_CO_EXTENSION_LENGTH = true; r.LENGTH_CO_EXTENSION = 5; },
              "1234567", "1234567"}),
    CaseName);

// The reference examples under plan U.
INSTANTIATE_TEST_SUITE_P(PlanUTable, BuildDialStringTest, testing::Values(
    BuildCase{"BracketedOwnArea", PlanU, nullptr, "(212) 555-1234", "95551234"},
    BuildCase{"FourPartsOwnCountryOwnArea", PlanU, nullptr, "1-212-555-1234", "95551234"},
    BuildCase{"PlusOwnCountryOwnArea", PlanU, nullptr, "+1 212 555 1234", "95551234"},
    BuildCase{"PlainOwnArea", PlanU, nullptr, "2125551234", "95551234"},
    BuildCase{"PlusOwnCountryOtherArea", PlanU, nullptr, "+1 (415) 555-1234", "914155551234"},
    BuildCase{"PlainOtherArea", PlanU, nullptr, "4155551234", "94155551234"},
    BuildCase{"LocalSeparated", PlanU, nullptr, "555-1234", "915551234"},
    BuildCase{"LocalPlain", PlanU, nullptr, "5551234", "95551234"},
    BuildCase{"ForeignCountry", PlanU, nullptr, "+44 20 7946 0018", "90114412079460018"}),
    CaseName);

// Corner cases, and branches the reference examples do not reach.
INSTANTIATE_TEST_SUITE_P(EdgeCases, BuildDialStringTest, testing::Values(
    BuildCase{"TrimmedFirst", PlanK, nullptr, " 1234567 ", "91234567"},
    BuildCase{"TrimmedTabsAndLineBreaks", PlanK, nullptr, "\t1234567\r\n", "91234567"},
    BuildCase{"StarHashIsExtension", PlanK, nullptr, "*123#", "*123#"},
    BuildCase{"StarHashByPrefix", PlanK,
              [](DialingRules& r) { r.USE_NON_STD = r.USE_PREFIX = true; r.PREFIX3 = "*1"; },
              "*123#", "9*123#"},
    BuildCase{"StarHashByLength", PlanK,
              [](DialingRules& r) {
                  r.USE_NON_STD = r.USE_CO_EXTENSION_LENGTH = true;
                  r.LENGTH_CO_EXTENSION = 5;
              },
              "*123#", "9*123#"},
    BuildCase{"EightWithOwnAreaNotRestructured", PlanK, nullptr, "03112345", "903112345"},
    BuildCase{"NineWithOwnAreaRestructured", PlanK, nullptr, "031123456", "9123456"},
    BuildCase{"PlusOwnAreaWithoutCountry", PlanK,
              [](DialingRules& r) { r.MYAREA_CODE = "44"; },
              "+4431234567", "931234567"},
    BuildCase{"LettersAreAnAreaPart", PlanK, nullptr, "12AB", "912AB"},
    BuildCase{"LongCodeAfterForeignCountry", PlanK, [](DialingRules& r) { r.LONG_CODE = "0"; },
              "+1 212 555 1234", "9001102125551234"},
    BuildCase{"LonePlusGivesEmptyCountry", PlanK, nullptr, "+ 82 31 1234567", "982311234567"},
    BuildCase{"EmptyTextIsExtension", PlanK, nullptr, "", ""},
    BuildCase{"TrailingSeparatorIgnored", PlanK, nullptr, "031-123-4567-", "91234567"},
    BuildCase{"SquareBracketsAndSlash", PlanK, nullptr, "[02]/123/4567", "9021234567"},
    // Rule 1 of step 3.6: a foreign country followed by our own area code is
    // dialled as a long-distance area there.
    BuildCase{"ForeignCountryWithOwnAreaCode", PlanU, nullptr, "+44 212 555 1234",
              "90114412125551234"},
    // Own-area rule after a foreign country: the area is kept, the rest of AP
    // moves to the local part.
    BuildCase{"ForeignCountryAreaStartingWithOwnArea", PlanK, nullptr, "+44 0312 555",
              "9001440312555"},
    // Step 8 adds the CO code only when R does not already begin with it.
    BuildCase{"CoNotDoubled", PlanK, [](DialingRules& r) { r.USE_INTERNATIONAL_RULE = true; },
              "9AB", "9AB"},
    BuildCase{"CoAddedToLocalOnly", PlanK, [](DialingRules& r) { r.USE_INTERNATIONAL_RULE = true; },
              "12A", "912A"},
    BuildCase{"NoCoCodeConfigured", PlanK, [](DialingRules& r) { r.CO_ACCESS_CODE.clear(); },
              "+1 212 555 1234", "00112125551234"},
    BuildCase{"CodesAreTrimmed", PlanK,
              [](DialingRules& r) {
                  r.CO_ACCESS_CODE = " 9\t";
                  r.MYAREA_CODE = "\r\n031 ";
              },
              "031-123-4567", "91234567"},
    BuildCase{"FirstNonEmptyPrefixAfterTrimWins", PlanK,
              [](DialingRules& r) {
                  r.USE_NON_STD = r.USE_PREFIX = true;
                  r.PREFIX2 = " 11 ";
              },
              "1100", "91100"},
    BuildCase{"PrefixIgnoredWithoutUsePrefix", PlanK,
              [](DialingRules& r) { r.USE_NON_STD = true; r.PREFIX1 = "114"; }, "114", "114"},
    BuildCase{"PrefixIgnoredWithoutNonStd", PlanK,
              [](DialingRules& r) { r.USE_PREFIX = true; r.PREFIX1 = "114"; }, "114", "114"},
    // LENGTH_CO_EXTENSION is compared unsigned: a negative value never matches.
    BuildCase{"NegativeLengthNeverMatches", PlanK,
              [](DialingRules& r) {
                  r.USE_NON_STD = r.USE_CO_EXTENSION_LENGTH = true;
                  r.LENGTH_CO_EXTENSION = -1;
              },
              "123456789012", "123456789012"},
    // Texts no caller passes (no dial part at all) must not crash; they come
    // back trimmed rather than as a bare CO code.
    BuildCase{"OnlySeparators", PlanK, nullptr, "( - )", "( - )"},
    BuildCase{"OnlyBlanks", PlanK, nullptr, "   ", "   "}),
    CaseName);

TEST(BuildDialString, DefaultRulesPassNumbersThrough) {
    const DialingRules rules;
    EXPECT_EQ(rules.BuildDialString("1234567"), "1234567");
    EXPECT_EQ(rules.BuildDialString("031-123-4567"), "0311234567");
}

struct MarksCase {
    std::string text;
    std::string equalDigits;
    std::string expected;
};

TEST(ApplyDialMarks, Table) {
    const MarksCase cases[] = {
        {"12p34,56f7=8", "", "12P34P56F78"},
        {"12=34", "55", "125534"},
        {"", "55", ""},
        {"==", "=1", "=1=1"},  // inserted "=" is not replaced again
        {"p", "", "P"},
        {"PF", "", "PF"},
        {"1,,2", "", "1PP2"},
        {"=f=", "p", "pFp"},  // "=" runs last, so its "p" stays lower case
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DialingRules::ApplyDialMarks(c.text, c.equalDigits), c.expected)
            << "input: [" << c.text << "] equal digits [" << c.equalDigits << "]";
    }
}

struct DialableCase {
    std::string text;
    bool checkMinimumLength;
    std::int32_t minPopupLength;
    bool expected;
    std::string textAfter;
};

TEST(IsDialableText, Table) {
    const std::string thirty(30, '1');
    const DialableCase cases[] = {
        {"12a", false, 1, false, "12a"},
        {"**#", false, 1, false, "**#"},           // no digit
        {"**#", true, 0, false, "**#"},
        {"12", true, 3, false, "12"},
        {"12", false, 3, true, "12"},
        {"1234", true, 5, false, "1234"},
        {"12345", true, 5, true, "12345"},
        {"*#1", true, 3, true, "*#1"},             // star and hash count towards the minimum
        {"1 2", true, 3, false, "1 2"},            // spaces do not
        {"+82 (31) 123-4567", true, 3, true, "+82 (31) 123-4567"},
        {"02/123-4567", false, 1, true, "02/123-4567"},
        {"1234\r\n", false, 1, true, "1234  "},
        {"12?34\v", false, 1, true, "12 34 "},
        {"12\n3a?", false, 1, false, "12 3a?"},    // stops at "a": later marks stay
        {"\n\r", true, 0, false, "  "},
        {"\t12", false, 1, false, "\t12"},         // tab is not dialable
        {"12\xC3\xA9", false, 1, false, "12\xC3\xA9"},
        {"1,2", false, 1, false, "1,2"},
        {"12=3", false, 1, false, "12=3"},
        {"12P3", false, 1, false, "12P3"},
        {"", false, 1, false, ""},
        {"", true, 0, false, ""},
        {thirty, true, 30, true, thirty},
        {thirty + "1", false, 1, false, thirty + "1"},
        {thirty.substr(1) + "\n", false, 1, true, thirty.substr(1) + " "},
        {thirty + "\n", false, 1, false, thirty + "\n"},  // too long: not even changed
        {"12"s + '\0', false, 1, false, "12"s + '\0'},
        // MIN_POPUP_LENGTH is compared unsigned: a negative value is never reached.
        {"12345", true, -1, false, "12345"},
        {"12345", false, -1, true, "12345"},
    };
    for (const auto& c : cases) {
        DialingRules rules;
        rules.MIN_POPUP_LENGTH = c.minPopupLength;
        std::string text = c.text;
        EXPECT_EQ(rules.IsDialableText(text, c.checkMinimumLength), c.expected)
            << "input: [" << c.text << "] check " << c.checkMinimumLength << " min "
            << c.minPopupLength;
        EXPECT_EQ(text, c.textAfter) << "input: [" << c.text << "]";
    }
}

struct StripCase {
    bool enabled;
    std::u16string text;
    std::u16string expected;
};

TEST(StripToPopupCharacters, Table) {
    const std::u16string thirty(30, u'1');
    const StripCase cases[] = {
        {false, u"abcd 1234567", u"abcd 1234567"},
        {true, u"abcd 1234567", u" 1234567"},
        {true, u"12\n34?\r\v", u"12 34   "},
        {true, u"+82 (31) 123-4567", u"+82 (31) 123-4567"},
        {true, u"Tel.: 02/123\t4567", u" 02/1234567"},
        {true, u"\u260E 031\u00A0123", u" 031123"},        // phone sign, no-break space
        {true, u"\uFF11\uFF12 3", u" 3"},                  // full-width digits are not dialable
        {true, u"ab\U0001F4DE12", u"12"},                  // a surrogate pair goes as a whole
        {true, u"", u""},
        {true, u"abc" + thirty.substr(3), thirty.substr(3)},   // 30 units: filtered
        {true, u"abc" + thirty.substr(2), u"abc" + thirty.substr(2)},  // 31: unchanged
        // The limit counts UTF-16 units: 29 digits and one astral character are 31.
        {true, thirty.substr(1) + u"\U0001F4DE", thirty.substr(1) + u"\U0001F4DE"},
        {true, thirty.substr(2) + u"\U0001F4DE", thirty.substr(2)},
        {false, u"12\n", u"12\n"},
    };
    for (const auto& c : cases) {
        DialingRules rules;
        rules.USE_POPUP_FOR_CHAR = c.enabled;
        std::u16string text = c.text;
        rules.StripToPopupCharacters(text);
        EXPECT_TRUE(text == c.expected) << "case with " << c.text.size() << " units, enabled "
                                        << c.enabled << ", got " << text.size() << " units";
    }
}

// What the clipboard pop-up does with a copied text: filter, then test.
TEST(StripToPopupCharacters, FeedsIsDialableText) {
    DialingRules rules;
    rules.USE_POPUP_FOR_CHAR = true;
    rules.MIN_POPUP_LENGTH = 3;
    std::u16string copied = u"Tel. 1234567\r\n";
    rules.StripToPopupCharacters(copied);
    std::string text(copied.begin(), copied.end());  // ASCII only after the filter
    EXPECT_TRUE(rules.IsDialableText(text, true));
    EXPECT_EQ(text, " 1234567  ");
}

}  // namespace
}  // namespace pellandor
