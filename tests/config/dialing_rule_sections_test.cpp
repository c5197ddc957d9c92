#include "config/app_settings.h"
#include "config/ini_file.h"
#include "dialing/dialing_rules.h"
#include "support/scratch_folder.h"

namespace pellandor {
namespace {

using test::ScratchFolder;

TEST_F(ScratchFolder, MissingSectionsKeepPopupFilterOnAndLengthThree) {
    put(iniPath(), "[LANGUAGE]\nLAN=LOCAL\n");
    AppSettings s;
    loadSettings(iniPath(), s);
    EXPECT_TRUE(s.usePopupForChar);
    EXPECT_EQ(s.minPopupLength, "3");
    EXPECT_EQ(s.language, "LOCAL");

    DialingRules rules;
    rules.coExtensionLength = 8;
    updateDialingRules(s, rules);
    EXPECT_TRUE(rules.usePopupForChar);
    EXPECT_EQ(rules.minPopupLength, 3);
    EXPECT_EQ(rules.coExtensionLength, 8);  // empty text: unchanged
}

TEST_F(ScratchFolder, PresentSectionsAreReadAndCopiedIn) {
    put(iniPath(),
        "[DIALING_RULE_ADV]\nNUM_ADD_EQUAL=00\nUSE_AREA_CODE=yes\nUSE_POPUP_FOR_CHAR=\nMIN_POPUP_LENGTH= 12x\n"
        "[DIALING_RULE_ADV_ADV]\nUSE_NON_STD=1\nUSE_PREFIX=1\nPREFIX1=01\nPREFIX5=" +
            std::string(150, '5') + "\nUSE_CO_EXTENSION_LENGTH=1\nLENGTH_CO_EXTENSION=0\n");
    AppSettings s;
    loadSettings(iniPath(), s);
    EXPECT_EQ(s.prefix5, std::string(99, '5'));
    EXPECT_EQ(s.language, "ENG");

    DialingRules rules;
    rules.coExtensionLength = 8;
    updateDialingRules(s, rules);
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
    AppSettings bare;
    loadSettings(iniPath(), bare);
    updateDialingRules(bare, rules);
    EXPECT_EQ(rules.minPopupLength, 0);
}

TEST_F(ScratchFolder, SectionSavesWriteTheirKeysInOrder) {
    AppSettings s;
    s.equalDigits = "5";
    s.useNonStandard = true;
    s.prefix3 = "88";
    s.coExtensionLength = "0";
    s.userId = "not written with these";
    ASSERT_TRUE(saveSettings(iniPath(), s, SettingsPart::AdvancedDialing));
    ASSERT_TRUE(saveSettings(iniPath(), s, SettingsPart::SpecialDialing));
    EXPECT_EQ(get(iniPath()),
              "[DIALING_RULE_ADV]\nNUM_ADD_EQUAL=5\nUSE_AREA_CODE=0\nUSE_INTERNATIONAL_RULE=0\n"
              "USE_POPUP_FOR_CHAR=1\nMIN_POPUP_LENGTH=3\n\n"
              "[DIALING_RULE_ADV_ADV]\nUSE_NON_STD=1\nUSE_PREFIX=0\nPREFIX1=\nPREFIX2=\nPREFIX3=88\nPREFIX4=\n"
              "PREFIX5=\nUSE_CO_EXTENSION_LENGTH=0\nLENGTH_CO_EXTENSION=0\n");
}

}  // namespace
}  // namespace pellandor
