#include "config/language_table.h"
#include "config/ini_file.h"
#include "support/scratch_folder.h"

#include <map>

namespace pellandor {
namespace {

using test::ScratchFolder;

std::string deliveredLanguageFile() {
    return std::string(PELLANDOR_TEST_DATA_DIR) + "/../../../resources/language.ini";
}

TEST_F(ScratchFolder, NoLanguageFileGivesBuiltInEnglish) {
    LanguageTable table;
    std::string language = "LOCAL";
    table.loadLanguage(pathOf("missing.ini"), language);
    EXPECT_EQ(language, "ENG");
    EXPECT_EQ(table.text("CAPTION"), "Settings");
    EXPECT_EQ(table.text("CALLDLG") + "|" + table.text("SETTINGS") + "|" + table.text("EXIT"),
              "Pellandor|Settings|Quit");
    EXPECT_EQ(table.text("LANGUAGE_ENG"), "Enlglish");
    EXPECT_EQ(table.text("AUTOSTART_CHECKBOX"), "Auto start on startup Windows");
    EXPECT_EQ(table.text("FIXEDPOS_CHECKBOX"), "Fixed postion as pop-up");
    EXPECT_EQ(table.text("RS_CALL_NOK"), "");
    EXPECT_EQ(table.text("NOT_A_KEY"), "");
    EXPECT_EQ(LanguageTable::VersionText, "Version 2.0Ad");
}

TEST_F(ScratchFolder, SectionIsChosenByTheExactCode) {
    const std::string both = "[ENG]\nCAPTION=File English\n[LOCAL]\nCAPTION=Lokal\nRS_RESULT=Ergebnis\n";
    const std::string engOnly = "[ENG]\nCAPTION=File English\n";
    const struct {
        const std::string* file;
        const char* code;
        const char* caption;
        const char* codeAfter;
        const char* result;  // RS_RESULT
    } cases[] = {
        {&both, "LOCAL", "Lokal", "LOCAL", "Ergebnis"},
        {&both, "ENG", "File English", "ENG", ""},  // missing key in the chosen section: empty
        {&both, "eng", "Settings", "ENG", "Result"},
        {&both, "LOCAL ", "Settings", "ENG", "Result"},
        {&engOnly, "LOCAL", "Settings", "ENG", "Result"},
        {&engOnly, "ENG", "File English", "ENG", ""},
    };
    for (const auto& c : cases) {
        put(iniPath(), *c.file);
        LanguageTable table;
        std::string code = c.code;
        table.loadLanguage(iniPath(), code);
        EXPECT_EQ(table.text("CAPTION"), c.caption) << c.code;
        EXPECT_EQ(code, c.codeAfter) << c.code;
        EXPECT_EQ(table.text("RS_RESULT"), c.result) << c.code;
    }
}

TEST_F(ScratchFolder, TextsAreCutToTheirBuffers) {
    put(iniPath(), "[ENG]\nCAPTION=" + std::string(300, 'c') + "\nDIALING_ADV_CAPTION=" + std::string(300, 'd') + "\n");
    std::string code = "ENG";
    LanguageTable main;
    main.loadLanguage(iniPath(), code);
    EXPECT_EQ(main.text("CAPTION"), std::string(199, 'c'));
    LanguageTable advanced(dialingAdvLanguageKeys(), 100);
    advanced.loadLanguage(iniPath(), code);
    EXPECT_EQ(advanced.text("DIALING_ADV_CAPTION"), std::string(99, 'd'));
    EXPECT_EQ(advanced.text("OK"), "");
}

// The delivered file must carry every key in both sections. Its English is
// the built-in English with the misspellings and the Windows wording
// corrected; the built-in texts keep them.
TEST(deliveredLanguageFile, HasEveryKeyInBothSections) {
    const std::map<std::string, std::string> corrected = {
        {"DISAPPEARANCE_AFTER_SUCCESS", "After success calling or hangup, auto disappearance 3 seconds later"},
        {"FIXEDPOS_CHECKBOX", "Fixed position as pop-up"},
        {"AUTOSTART_CHECKBOX", "Start at login"},
        {"LANGUAGE_ENG", "English"},
        {"DIALING_ADV_ADV_CHECKBOX_PREFIX", "Enable CO call with following prefix digits"},
    };
    const IniFile ini(deliveredLanguageFile());
    ASSERT_TRUE(ini.sectionExists("ENG"));
    ASSERT_TRUE(ini.sectionExists("LOCAL"));
    for (auto keys : {mainLanguageKeys(), dialingAdvLanguageKeys(), dialingAdvAdvLanguageKeys()}) {
        for (const LanguageKey& k : keys) {
            const auto fixed = corrected.find(k.key);
            const std::string english = fixed != corrected.end() ? fixed->second : std::string(k.english);
            EXPECT_EQ(ini.find("ENG", k.key).value_or("<missing>"), english) << k.key;
            for (const char* wrong : {"Enlglish", "postion", "disapperance", "foloowing", "Windows"}) {
                EXPECT_EQ(english.find(wrong), std::string::npos) << k.key;
            }
            const auto local = ini.find("LOCAL", k.key);
            ASSERT_TRUE(local.has_value()) << k.key;
            EXPECT_FALSE(local->empty()) << k.key;
        }
    }
    LanguageTable advanced(dialingAdvAdvLanguageKeys(), 100);
    std::string code = "LOCAL";
    advanced.loadLanguage(deliveredLanguageFile(), code);
    EXPECT_EQ(code, "LOCAL");
    EXPECT_EQ(advanced.text("DIALING_ADV_ADV_PREFIX1"), "Vorwahl 1");
}

}  // namespace
}  // namespace pellandor
