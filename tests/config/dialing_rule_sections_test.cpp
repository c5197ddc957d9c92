#include "config/dialing_rule_sections.h"
#include "dialing/dialing_rules.h"
#include "test_files.h"

namespace pellandor {
namespace {

using test::ScratchFolder;

TEST_F(ScratchFolder, MissingSectionsKeepPopupFilterOnAndLengthThree) {
    Put(Ini(), "[LANGUAGE]\nLAN=LOCAL\n");
    DialingRuleAdvValues adv;
    DialingRuleAdvAdvValues special;
    LoadDialingRuleAdv(Ini(), adv);
    LoadDialingRuleAdvAdv(Ini(), special);
    EXPECT_TRUE(adv.USE_POPUP_FOR_CHAR);
    EXPECT_EQ(adv.MIN_POPUP_LENGTH, "3");
    EXPECT_EQ(adv.LAN, "LOCAL");
    EXPECT_EQ(special.LAN, "LOCAL");

    DialingRules rules;
    rules.LENGTH_CO_EXTENSION = 8;
    CopyInDialingRuleAdv(adv, special, rules);
    EXPECT_TRUE(rules.USE_POPUP_FOR_CHAR);
    EXPECT_EQ(rules.MIN_POPUP_LENGTH, 3);
    EXPECT_EQ(rules.LENGTH_CO_EXTENSION, 8);  // empty text: unchanged
}

TEST_F(ScratchFolder, PresentSectionsAreReadAndCopiedIn) {
    Put(Ini(),
        "[DIALING_RULE_ADV]\nNUM_ADD_EQUAL=00\nUSE_AREA_CODE=yes\nUSE_POPUP_FOR_CHAR=\nMIN_POPUP_LENGTH= 12x\n"
        "[DIALING_RULE_ADV_ADV]\nUSE_NON_STD=1\nUSE_PREFIX=1\nPREFIX1=01\nPREFIX5=" +
            std::string(150, '5') + "\nUSE_CO_EXTENSION_LENGTH=1\nLENGTH_CO_EXTENSION=0\n");
    DialingRuleAdvValues adv;
    DialingRuleAdvAdvValues special;
    LoadDialingRuleAdv(Ini(), adv);
    LoadDialingRuleAdvAdv(Ini(), special);
    EXPECT_EQ(special.PREFIX5, std::string(99, '5'));
    EXPECT_EQ(adv.LAN, "ENG");

    DialingRules rules;
    rules.LENGTH_CO_EXTENSION = 8;
    CopyInDialingRuleAdv(adv, special, rules);
    EXPECT_EQ(rules.NUM_ADD_EQUAL, "00");
    EXPECT_TRUE(rules.USE_AREA_CODE);
    EXPECT_FALSE(rules.USE_INTERNATIONAL_RULE);
    EXPECT_FALSE(rules.USE_POPUP_FOR_CHAR);
    EXPECT_EQ(rules.MIN_POPUP_LENGTH, 12);
    EXPECT_TRUE(rules.USE_NON_STD && rules.USE_PREFIX && rules.USE_CO_EXTENSION_LENGTH);
    EXPECT_EQ(rules.PREFIX1, "01");
    EXPECT_EQ(rules.LENGTH_CO_EXTENSION, 0);

    // A present key with no value reads as empty, so the length is 0.
    Put(Ini(), "[DIALING_RULE_ADV]\n");
    DialingRuleAdvValues bare;
    LoadDialingRuleAdv(Ini(), bare);
    CopyInDialingRuleAdv(bare, special, rules);
    EXPECT_EQ(rules.MIN_POPUP_LENGTH, 0);
}

TEST_F(ScratchFolder, SectionSavesWriteTheirKeysInOrder) {
    DialingRuleAdvValues adv;
    adv.NUM_ADD_EQUAL = "5";
    DialingRuleAdvAdvValues special;
    special.USE_NON_STD = true;
    special.PREFIX3 = "88";
    special.LENGTH_CO_EXTENSION = "0";
    std::string error;
    ASSERT_TRUE(SaveDialingRuleAdv(Ini(), adv, error)) << error;
    ASSERT_TRUE(SaveDialingRuleAdvAdv(Ini(), special, error)) << error;
    EXPECT_EQ(Get(Ini()),
              "[DIALING_RULE_ADV]\nNUM_ADD_EQUAL=5\nUSE_AREA_CODE=0\nUSE_INTERNATIONAL_RULE=0\n"
              "USE_POPUP_FOR_CHAR=1\nMIN_POPUP_LENGTH=3\n\n"
              "[DIALING_RULE_ADV_ADV]\nUSE_NON_STD=1\nUSE_PREFIX=0\nPREFIX1=\nPREFIX2=\nPREFIX3=88\nPREFIX4=\n"
              "PREFIX5=\nUSE_CO_EXTENSION_LENGTH=0\nLENGTH_CO_EXTENSION=0\n");
}

}  // namespace
}  // namespace pellandor
