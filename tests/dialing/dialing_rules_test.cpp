#include "dialing/dialing_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace pellandor {
namespace {

using namespace std::string_literals;

// Plan K: a Korean plan with the zero added before area codes.
void planK(DialingRules& r) {
    r.coAccessCode = "9";
    r.myCountryCode = "82";
    r.myAreaCode = "031";
    r.internationalCode = "001";
    r.addZero = true;
}

// Plan U: a North American plan.
void planU(DialingRules& r) {
    r.coAccessCode = "9";
    r.myCountryCode = "1";
    r.myAreaCode = "212";
    r.internationalCode = "011";
    r.longDistanceCode = "1";
}

using Tweak = void (*)(DialingRules&);

struct BuildCase {
    const char* name;  // test name suffix
    Tweak plan;
    Tweak tweak;  // changes on top of the plan, or nullptr
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
    EXPECT_EQ(rules.buildDialString(c.text), c.expected) << "input: [" << c.text << "]";
}

std::string caseName(const testing::TestParamInfo<BuildCase>& info) {
    return info.param.name;
}

// The reference examples under plan K.
INSTANTIATE_TEST_SUITE_P(
    PlanKTable, BuildDialStringTest,
    testing::Values(BuildCase{"Extension4", planK, nullptr, "1234", "1234"},
                    BuildCase{"Extension6", planK, nullptr, "123456", "123456"},
                    BuildCase{"Plain7IsCo", planK, nullptr, "1234567", "91234567"},
                    BuildCase{"OwnAreaLeftOut", planK, nullptr, "0311234567", "91234567"},
                    BuildCase{"NoAreaFoundPlainCo", planK, nullptr, "021234567", "9021234567"},
                    BuildCase{"OwnCountryOwnArea", planK, nullptr, "+82 31 123 4567", "91234567"},
                    BuildCase{"OwnCountryOtherArea", planK, nullptr, "+82-2-123-4567", "9021234567"},
                    BuildCase{"OwnCountryNoAreaGetsZero", planK, nullptr, "+82311234567", "90311234567"},
                    BuildCase{"OwnCountryMobile", planK, nullptr, "+82 10-1234-5678", "901012345678"},
                    BuildCase{"ThreePartsOwnArea", planK, nullptr, "031-123-4567", "91234567"},
                    BuildCase{"BracketedArea", planK, nullptr, "(02) 123-4567", "9021234567"},
                    BuildCase{"FourPartsCountryAndArea", planK, nullptr, "82-31-123-4567", "91234567"},
                    BuildCase{"ForeignCountry", planK, nullptr, "+1 212 555 1234", "900112125551234"}),
    caseName);

// Plan K with one rule switched on.
INSTANTIATE_TEST_SUITE_P(
    PlanKVariants, BuildDialStringTest,
    testing::Values(BuildCase{"UseAreaCodeKeepsOwnArea", planK, [](DialingRules& r) { r.useAreaCode = true; },
                              "031-123-4567", "90311234567"},
                    BuildCase{"InternationalRuleNoCountryWithoutPlus", planK,
                              [](DialingRules& r) { r.useInternationalRule = true; }, "82-31-123-4567", "982311234567"},
                    BuildCase{"PbxCodePlain", planK, [](DialingRules& r) { r.pbxCode = "8"; }, "1234567", "981234567"},
                    BuildCase{"PbxCodeSeparated", planK, [](DialingRules& r) { r.pbxCode = "8"; }, "123-4567",
                              "981234567"},
                    BuildCase{"PrefixMatches", planK,
                              [](DialingRules& r) {
                                  r.useNonStandard = r.usePrefix = true;
                                  r.prefix1 = "114";
                              },
                              "114", "9114"},
                    BuildCase{"PrefixNoMatchStaysExtension", planK,
                              [](DialingRules& r) {
                                  r.useNonStandard = r.usePrefix = true;
                                  r.prefix1 = "114";
                              },
                              "123456", "123456"},
                    BuildCase{"LengthRuleBelow", planK,
                              [](DialingRules& r) {
                                  r.useNonStandard = r.useCoExtensionLength = true;
                                  r.coExtensionLength = 5;
                              },
                              "1234", "1234"},
                    BuildCase{"LengthRuleReached", planK,
                              [](DialingRules& r) {
                                  r.useNonStandard = r.useCoExtensionLength = true;
                                  r.coExtensionLength = 5;
                              },
                              "12345", "912345"},
                    BuildCase{"LengthRuleWithoutNonStdDisablesFixed7", planK,
                              [](DialingRules& r) {
                                  r.useCoExtensionLength = true;
                                  r.coExtensionLength = 5;
                              },
                              "1234567", "1234567"}),
    caseName);

// The reference examples under plan U.
INSTANTIATE_TEST_SUITE_P(
    PlanUTable, BuildDialStringTest,
    testing::Values(BuildCase{"BracketedOwnArea", planU, nullptr, "(212) 555-1234", "95551234"},
                    BuildCase{"FourPartsOwnCountryOwnArea", planU, nullptr, "1-212-555-1234", "95551234"},
                    BuildCase{"PlusOwnCountryOwnArea", planU, nullptr, "+1 212 555 1234", "95551234"},
                    BuildCase{"PlainOwnArea", planU, nullptr, "2125551234", "95551234"},
                    BuildCase{"PlusOwnCountryOtherArea", planU, nullptr, "+1 (415) 555-1234", "914155551234"},
                    BuildCase{"PlainOtherArea", planU, nullptr, "4155551234", "94155551234"},
                    BuildCase{"LocalSeparated", planU, nullptr, "555-1234", "915551234"},
                    BuildCase{"LocalPlain", planU, nullptr, "5551234", "95551234"},
                    BuildCase{"ForeignCountry", planU, nullptr, "+44 20 7946 0018", "90114412079460018"}),
    caseName);

// Corner cases, and branches the reference examples do not reach.
INSTANTIATE_TEST_SUITE_P(
    EdgeCases, BuildDialStringTest,
    testing::Values(
        BuildCase{"TrimmedFirst", planK, nullptr, " 1234567 ", "91234567"},
        BuildCase{"TrimmedTabsAndLineBreaks", planK, nullptr, "\t1234567\r\n", "91234567"},
        BuildCase{"StarHashIsExtension", planK, nullptr, "*123#", "*123#"},
        BuildCase{"StarHashByPrefix", planK,
                  [](DialingRules& r) {
                      r.useNonStandard = r.usePrefix = true;
                      r.prefix3 = "*1";
                  },
                  "*123#", "9*123#"},
        BuildCase{"StarHashByLength", planK,
                  [](DialingRules& r) {
                      r.useNonStandard = r.useCoExtensionLength = true;
                      r.coExtensionLength = 5;
                  },
                  "*123#", "9*123#"},
        BuildCase{"EightWithOwnAreaNotRestructured", planK, nullptr, "03112345", "903112345"},
        BuildCase{"NineWithOwnAreaRestructured", planK, nullptr, "031123456", "9123456"},
        BuildCase{"PlusOwnAreaWithoutCountry", planK, [](DialingRules& r) { r.myAreaCode = "44"; }, "+4431234567",
                  "931234567"},
        BuildCase{"LettersAreAnAreaPart", planK, nullptr, "12AB", "912AB"},
        BuildCase{"LongCodeAfterForeignCountry", planK, [](DialingRules& r) { r.longDistanceCode = "0"; },
                  "+1 212 555 1234", "9001102125551234"},
        BuildCase{"LonePlusGivesEmptyCountry", planK, nullptr, "+ 82 31 1234567", "982311234567"},
        BuildCase{"EmptyTextIsExtension", planK, nullptr, "", ""},
        BuildCase{"TrailingSeparatorIgnored", planK, nullptr, "031-123-4567-", "91234567"},
        BuildCase{"SquareBracketsAndSlash", planK, nullptr, "[02]/123/4567", "9021234567"},
        // Rule 1 of step 3.6: a foreign country followed by our own area code is
        // dialled as a long-distance area there.
        BuildCase{"ForeignCountryWithOwnAreaCode", planU, nullptr, "+44 212 555 1234", "90114412125551234"},
        // Own-area rule after a foreign country: the area is kept, the rest of AP
        // moves to the local part.
        BuildCase{"ForeignCountryAreaStartingWithOwnArea", planK, nullptr, "+44 0312 555", "9001440312555"},
        // Step 8 adds the CO code only when R does not already begin with it.
        BuildCase{"CoNotDoubled", planK, [](DialingRules& r) { r.useInternationalRule = true; }, "9AB", "9AB"},
        BuildCase{"CoAddedToLocalOnly", planK, [](DialingRules& r) { r.useInternationalRule = true; }, "12A", "912A"},
        BuildCase{"NoCoCodeConfigured", planK, [](DialingRules& r) { r.coAccessCode.clear(); }, "+1 212 555 1234",
                  "00112125551234"},
        BuildCase{"CodesAreTrimmed", planK,
                  [](DialingRules& r) {
                      r.coAccessCode = " 9\t";
                      r.myAreaCode = "\r\n031 ";
                  },
                  "031-123-4567", "91234567"},
        BuildCase{"FirstNonEmptyPrefixAfterTrimWins", planK,
                  [](DialingRules& r) {
                      r.useNonStandard = r.usePrefix = true;
                      r.prefix2 = " 11 ";
                  },
                  "1100", "91100"},
        BuildCase{"PrefixIgnoredWithoutUsePrefix", planK,
                  [](DialingRules& r) {
                      r.useNonStandard = true;
                      r.prefix1 = "114";
                  },
                  "114", "114"},
        BuildCase{"PrefixIgnoredWithoutNonStd", planK,
                  [](DialingRules& r) {
                      r.usePrefix = true;
                      r.prefix1 = "114";
                  },
                  "114", "114"},
        // LENGTH_CO_EXTENSION is compared unsigned: a negative value never matches.
        BuildCase{"NegativeLengthNeverMatches", planK,
                  [](DialingRules& r) {
                      r.useNonStandard = r.useCoExtensionLength = true;
                      r.coExtensionLength = -1;
                  },
                  "123456789012", "123456789012"},
        // texts no caller passes (no dial part at all) must not crash; they come
        // back trimmed rather than as a bare CO code.
        BuildCase{"OnlySeparators", planK, nullptr, "( - )", "( - )"},
        BuildCase{"OnlyBlanks", planK, nullptr, "   ", "   "}),
    caseName);

TEST(buildDialString, DefaultRulesPassNumbersThrough) {
    const DialingRules rules;
    EXPECT_EQ(rules.buildDialString("1234567"), "1234567");
    EXPECT_EQ(rules.buildDialString("031-123-4567"), "0311234567");
}

struct MarksCase {
    std::string text;
    std::string equalDigits;
    std::string expected;
};

TEST(applyDialMarks, Table) {
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
        EXPECT_EQ(DialingRules::applyDialMarks(c.text, c.equalDigits), c.expected)
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

TEST(isDialableText, Table) {
    const std::string thirty(30, '1');
    const DialableCase cases[] = {
        {"12a", false, 1, false, "12a"},
        {"**#", false, 1, false, "**#"},  // no digit
        {"**#", true, 0, false, "**#"},
        {"12", true, 3, false, "12"},
        {"12", false, 3, true, "12"},
        {"1234", true, 5, false, "1234"},
        {"12345", true, 5, true, "12345"},
        {"*#1", true, 3, true, "*#1"},   // star and hash count towards the minimum
        {"1 2", true, 3, false, "1 2"},  // spaces do not
        {"+82 (31) 123-4567", true, 3, true, "+82 (31) 123-4567"},
        {"02/123-4567", false, 1, true, "02/123-4567"},
        {"1234\r\n", false, 1, true, "1234  "},
        {"12?34\v", false, 1, true, "12 34 "},
        {"12\n3a?", false, 1, false, "12 3a?"},  // stops at "a": later marks stay
        {"\n\r", true, 0, false, "  "},
        {"\t12", false, 1, false, "\t12"},  // tab is not dialable
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
        rules.minPopupLength = c.minPopupLength;
        std::string text = c.text;
        EXPECT_EQ(rules.isDialableText(text, c.checkMinimumLength), c.expected)
            << "input: [" << c.text << "] check " << c.checkMinimumLength << " min " << c.minPopupLength;
        EXPECT_EQ(text, c.textAfter) << "input: [" << c.text << "]";
    }
}

struct StripCase {
    bool enabled;
    std::u16string text;
    std::u16string expected;
};

TEST(stripToPopupCharacters, Table) {
    const std::u16string thirty(30, u'1');
    const StripCase cases[] = {
        {false, u"abcd 1234567", u"abcd 1234567"},
        {true, u"abcd 1234567", u" 1234567"},
        {true, u"12\n34?\r\v", u"12 34   "},
        {true, u"+82 (31) 123-4567", u"+82 (31) 123-4567"},
        {true, u"Tel.: 02/123\t4567", u" 02/1234567"},
        {true, u"\u260E 031\u00A0123", u" 031123"},  // phone sign, no-break space
        {true, u"\uFF11\uFF12 3", u" 3"},            // full-width digits are not dialable
        {true, u"ab\U0001F4DE12", u"12"},            // a surrogate pair goes as a whole
        {true, u"", u""},
        {true, u"abc" + thirty.substr(3), thirty.substr(3)},           // 30 units: filtered
        {true, u"abc" + thirty.substr(2), u"abc" + thirty.substr(2)},  // 31: unchanged
        // The limit counts UTF-16 units: 29 digits and one astral character are 31.
        {true, thirty.substr(1) + u"\U0001F4DE", thirty.substr(1) + u"\U0001F4DE"},
        {true, thirty.substr(2) + u"\U0001F4DE", thirty.substr(2)},
        {false, u"12\n", u"12\n"},
    };
    for (const auto& c : cases) {
        DialingRules rules;
        rules.usePopupForChar = c.enabled;
        std::u16string text = c.text;
        rules.stripToPopupCharacters(text);
        EXPECT_TRUE(text == c.expected) << "case with " << c.text.size() << " units, enabled " << c.enabled << ", got "
                                        << text.size() << " units";
    }
}

// What the clipboard pop-up does with a copied text: filter, then test.
TEST(stripToPopupCharacters, FeedsIsDialableText) {
    DialingRules rules;
    rules.usePopupForChar = true;
    rules.minPopupLength = 3;
    std::u16string copied = u"Tel. 1234567\r\n";
    rules.stripToPopupCharacters(copied);
    std::string text(copied.begin(), copied.end());  // ASCII only after the filter
    EXPECT_TRUE(rules.isDialableText(text, true));
    EXPECT_EQ(text, " 1234567  ");
}

}  // namespace
}  // namespace pellandor
