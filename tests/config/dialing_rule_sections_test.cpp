#include "config/dialing_rule_sections.h"
#include "dialing/dialing_rules.h"
#include "support/scratch_folder.h"

namespace pellandor {
namespace {

using test::ScratchFolder;

TEST_F(ScratchFolder, MissingSectionsKeepPopupFilterOnAndLengthThree) {
    put(iniPath(), "[LANGUAGE]\nLAN=LOCAL\n");
    DialingRuleAdvValues adv;
    DialingRuleAdvAdvValues special;
    loadDialingRuleAdv(iniPath(), adv);
    loadDialingRuleAdvAdv(iniPath(), special);
    EXPECT_TRUE(adv.usePopupForChar);
    EXPECT_EQ(adv.minPopupLength, "3");
    EXPECT_EQ(adv.language, "LOCAL");
    EXPECT_EQ(special.language, "LOCAL");

    DialingRules rules;
    rules.coExtensionLength = 8;
    copyInDialingRuleAdv(adv, special, rules);
    EXPECT_TRUE(rules.usePopupForChar);
    EXPECT_EQ(rules.minPopupLength, 3);
    EXPECT_EQ(rules.coExtensionLength, 8);  // empty text: unchanged
}

TEST_F(ScratchFolder, PresentSectionsAreReadAndCopiedIn) {
    put(iniPath(),
        "[DIALING_RULE_ADV]\nNUM_ADD_EQUAL=00\nUSE_AREA_CODE=yes\nUSE_POPUP_FOR_CHAR=\nMIN_POPUP_LENGTH= 12x\n"
        "[DIALING_RULE_ADV_ADV]\nUSE_NON_STD=1\nUSE_PREFIX=1\nPREFIX1=01\nPREFIX5=" +
            std::string(150, '5') + "\nUSE_CO_EXTENSION_LENGTH=1\nLENGTH_CO_EXTENSION=0\n");
    DialingRuleAdvValues adv;
    DialingRuleAdvAdvValues special;
    loadDialingRuleAdv(iniPath(), adv);
    loadDialingRuleAdvAdv(iniPath(), special);
    EXPECT_EQ(special.prefix5, std::string(99, '5'));
    EXPECT_EQ(adv.language, "ENG");

    DialingRules rules;
    rules.coExtensionLength = 8;
    copyInDialingRuleAdv(adv, special, rules);
    EXPECT_EQ(rules.equalDigits, "00");
    EXPECT_TRUE(rules.useAreaCode);
    EXPECT_FALSE(rules.useInternationalRule);
    EXPECT_FALSE(rules.usePopupForChar);
    EXPECT_EQ(rules.minPopupLength, 12);
    EXPECT_TRUE(rules.useNonStandard && rules.usePrefix && rules.useCoExtensionLength);
    EXPECT_EQ(rules.prefix1, "01");
    EXPECT_EQ(rules.coExtensionLength, 0);

    // A present key with no value reads as empty, so the length is 0.
    put(iniPath(), "[DIALING_RULE_ADV]\n");
    DialingRuleAdvValues bare;
    loadDialingRuleAdv(iniPath(), bare);
    copyInDialingRuleAdv(bare, special, rules);
    EXPECT_EQ(rules.minPopupLength, 0);
}

TEST_F(ScratchFolder, SectionSavesWriteTheirKeysInOrder) {
    DialingRuleAdvValues adv;
    adv.equalDigits = "5";
    DialingRuleAdvAdvValues special;
    special.useNonStandard = true;
    special.prefix3 = "88";
    special.coExtensionLength = "0";
    std::string error;
    ASSERT_TRUE(saveDialingRuleAdv(iniPath(), adv, error)) << error;
    ASSERT_TRUE(saveDialingRuleAdvAdv(iniPath(), special, error)) << error;
    EXPECT_EQ(get(iniPath()),
              "[DIALING_RULE_ADV]\nNUM_ADD_EQUAL=5\nUSE_AREA_CODE=0\nUSE_INTERNATIONAL_RULE=0\n"
              "USE_POPUP_FOR_CHAR=1\nMIN_POPUP_LENGTH=3\n\n"
              "[DIALING_RULE_ADV_ADV]\nUSE_NON_STD=1\nUSE_PREFIX=0\nPREFIX1=\nPREFIX2=\nPREFIX3=88\nPREFIX4=\n"
              "PREFIX5=\nUSE_CO_EXTENSION_LENGTH=0\nLENGTH_CO_EXTENSION=0\n");
}

}  // namespace
}  // namespace pellandor
