#include "config/language_table.h"
#include "config/cini.h"
#include "test_files.h"

namespace pellandor {
namespace {

using test::ScratchFolder;

std::string DeliveredLanguageFile() {
    return std::string(PELLANDOR_TEST_DATA_DIR) + "/../../../resources/language.ini";
}

TEST_F(ScratchFolder, NoLanguageFileGivesBuiltInEnglish) {
    LanguageTable table;
    std::string language = "LOCAL";
    table.LoadLanguage(PathOf("missing.ini"), language);
    EXPECT_EQ(language, "ENG");
    EXPECT_EQ(table.Text("CAPTION"), "Settings");
    EXPECT_EQ(table.Text("CALLDLG") + "|" + table.Text("SETTINGS") + "|" + table.Text("EXIT"),
              "Pellandor|Settings|Quit");
    EXPECT_EQ(table.Text("LANGUAGE_ENG"), "Enlglish");
    EXPECT_EQ(table.Text("RS_CALL_NOK"), "");
    EXPECT_EQ(table.Text("NOT_A_KEY"), "");
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
        Put(Ini(), *c.file);
        LanguageTable table;
        std::string code = c.code;
        table.LoadLanguage(Ini(), code);
        EXPECT_EQ(table.Text("CAPTION"), c.caption) << c.code;
        EXPECT_EQ(code, c.codeAfter) << c.code;
        EXPECT_EQ(table.Text("RS_RESULT"), c.result) << c.code;
    }
}

TEST_F(ScratchFolder, TextsAreCutToTheirBuffers) {
    Put(Ini(), "[ENG]\nCAPTION=" + std::string(300, 'c') + "\nDIALING_ADV_CAPTION=" + std::string(300, 'd') + "\n");
    std::string code = "ENG";
    LanguageTable main;
    main.LoadLanguage(Ini(), code);
    EXPECT_EQ(main.Text("CAPTION"), std::string(199, 'c'));
    LanguageTable advanced(DialingAdvLanguageKeys(), 100);
    advanced.LoadLanguage(Ini(), code);
    EXPECT_EQ(advanced.Text("DIALING_ADV_CAPTION"), std::string(99, 'd'));
    EXPECT_EQ(advanced.Text("OK"), "");
}

// The delivered file must carry every key in both sections, and its English
// must be the built-in English.
TEST(DeliveredLanguageFile, HasEveryKeyInBothSections) {
    const CIni ini(DeliveredLanguageFile());
    ASSERT_TRUE(ini.SectionExists("ENG"));
    ASSERT_TRUE(ini.SectionExists("LOCAL"));
    for (auto keys : {MainLanguageKeys(), DialingAdvLanguageKeys(), DialingAdvAdvLanguageKeys()}) {
        for (const LanguageKey& k : keys) {
            EXPECT_EQ(ini.Find("ENG", k.key).value_or("<missing>"), k.english) << k.key;
            const auto local = ini.Find("LOCAL", k.key);
            ASSERT_TRUE(local.has_value()) << k.key;
            EXPECT_FALSE(local->empty()) << k.key;
        }
    }
    LanguageTable advanced(DialingAdvAdvLanguageKeys(), 100);
    std::string code = "LOCAL";
    advanced.LoadLanguage(DeliveredLanguageFile(), code);
    EXPECT_EQ(code, "LOCAL");
    EXPECT_EQ(advanced.Text("DIALING_ADV_ADV_PREFIX1"), "Vorwahl 1");
}

}  // namespace
}  // namespace pellandor
