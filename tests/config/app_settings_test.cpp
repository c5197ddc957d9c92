#include "config/app_settings.h"
#include "config/ini_file.h"
#include "dialing/dialing_rules.h"
#include "support/scratch_folder.h"

#include <random>

namespace pellandor {
namespace {

using test::ScratchFolder;

std::string fixturePath(const char* name) {
    return std::string(PELLANDOR_TEST_DATA_DIR) + "/" + name;
}

// Every field in its written form, for whole-struct comparisons.
std::vector<std::string> rows(const AppSettings& s) {
    std::vector<std::string> rows;
    for (const auto& field : appSettingsFields()) rows.push_back(std::string(field.key) + "=" + formatField(field, s));
    return rows;
}

TEST_F(ScratchFolder, NoFileGivesTheBuiltInSettings) {
    AppSettings s;
    s.userId = "changed";  // a missing section must not touch a field, only its own
    ASSERT_TRUE(loadSettings(pathOf("missing.ini"), s));
    AppSettings expected;
    expected.userId = "changed";
    EXPECT_EQ(rows(s), rows(expected));

    CallDialogValues dialog;
    updateCallDialogValues(s, dialog);
    EXPECT_EQ(dialog.hideDelayMs, 5000);
    EXPECT_TRUE(dialog.topMost);
    EXPECT_TRUE(dialog.callOnEnter);
    EXPECT_EQ(dialog.alpha, 255);
    EXPECT_EQ(s.transparencyPercent, 70);
    EXPECT_EQ(s.hotkeyModifier + "+" + s.hotkeyKey, "ALT+Q");
    EXPECT_EQ(s.language, "ENG");
}

TEST_F(ScratchFolder, PresentSectionWithoutKeysReadsZeroAndEmpty) {
    AppSettings s;
    loadSettings(fixturePath("empty_sections.ini"), s);
    for (const std::string& row : rows(s)) {
        const std::string value = row.substr(row.find('=') + 1);
        EXPECT_TRUE(value.empty() || value == "0") << row;
    }
    put(iniPath(), "[DISAPPEARANCE]\nUSE_DISAPPEARANCE=1\n");
    AppSettings partial;
    loadSettings(iniPath(), partial);
    EXPECT_TRUE(partial.autoHide);
    EXPECT_EQ(partial.autoHideSeconds, 0);
}

TEST_F(ScratchFolder, SaveWritesEverySectionAndKeyInOrder) {
    AppSettings s;
    const Status saved = saveSettings(iniPath(), s);
    ASSERT_TRUE(saved) << saved.error();
    EXPECT_EQ(get(iniPath()), get(fixturePath("default_settings.ini")));
}

TEST_F(ScratchFolder, SavedSettingsLoadBackUnchanged) {
    AppSettings s;
    s.userId = "u1";
    s.password = "  pass word  ";
    s.phoneNumber = "2001";
    s.exchangeAddress = "10.0.0.1";
    s.exchangePort = "443";
    s.autoHide = false;
    s.autoHideSeconds = -25;
    s.transparent = true;
    s.transparencyPercent = 30;
    s.showHangup = true;
    s.hotkeyModifier = "CTRL";
    s.hotkeyKey = "F9";
    s.useOutlook = true;
    s.language = "LOCAL";
    s.coAccessCode = "9";
    s.myCountryCode = "49";
    s.addZero = false;
    ASSERT_TRUE(saveSettings(iniPath(), s));
    EXPECT_EQ(s.password, "pass word");  // trimmed in place by the save

    const std::string stored = IniFile(iniPath()).getString("USER_INFO", "PW");
    EXPECT_EQ(stored.size(), 32u);
    EXPECT_EQ(stored.find_first_not_of("0123456789ABCDEF"), std::string::npos) << stored;

    AppSettings loaded;
    loadSettings(iniPath(), loaded);
    EXPECT_EQ(rows(loaded), rows(s));
}

TEST_F(ScratchFolder, StoredPasswordFallsBackToItsTextWhenItDoesNotDecipher) {
    const struct {
        const char* stored;
        const char* password;
    } cases[] = {
        {"  typed by hand ", "typed by hand"},
        {"ZZ", "ZZ"},
        {"0123456789abcdef0123456789abcde", "0123456789abcdef0123456789abcde"},  // odd length
        {"", ""},
    };
    for (const auto& c : cases) {
        put(iniPath(), std::string("[USER_INFO]\nPW=") + c.stored + "\n");
        AppSettings s;
        loadSettings(iniPath(), s);
        EXPECT_EQ(s.password, c.password) << c.stored;
    }
}

TEST_F(ScratchFolder, PasswordTooLongToStoreKeepsTheOldOneAndSaysSo) {
    AppSettings s;
    s.password = std::string(96, 'p');
    ASSERT_TRUE(saveSettings(iniPath(), s));
    const std::string before = IniFile(iniPath()).getString("USER_INFO", "PW");

    s.userId = "new id";
    s.password = std::string(97, 'q');
    const Status saved = saveSettings(iniPath(), s);
    EXPECT_FALSE(saved);
    EXPECT_EQ(saved.code(), ErrorCode::Partial);  // the rest was written
    EXPECT_NE(saved.error().find("too long"), std::string::npos);
    AppSettings loaded;
    loadSettings(iniPath(), loaded);
    EXPECT_EQ(IniFile(iniPath()).getString("USER_INFO", "PW"), before);
    EXPECT_EQ(loaded.password, std::string(96, 'p'));
    EXPECT_EQ(loaded.userId, "new id");
}

TEST_F(ScratchFolder, LongTextsAreCutToWholeCharactersWithin199Bytes) {
    const std::string euro = "\xE2\x82\xAC";
    // 197 ASCII bytes, then a 3-byte character that would end at byte 200.
    put(iniPath(), "[USER_INFO]\nID=" + std::string(300, 'i') + "\nPN=" + std::string(197, '1') + euro + "\n");
    AppSettings s;
    loadSettings(iniPath(), s);
    EXPECT_EQ(s.userId, std::string(199, 'i'));
    EXPECT_EQ(s.phoneNumber, std::string(197, '1'));
}

TEST_F(ScratchFolder, DamagedFilesGiveDefaultsOrSaneValues) {
    std::mt19937 random(12345);
    std::string garbage(200000, '\0');
    for (char& c : garbage) c = static_cast<char>(random() & 0xFF);
    const std::string megabytes(4 * 1024 * 1024, '7');
    const struct {
        std::string name;
        std::string bytes;
    } files[] = {
        {"binary", garbage},
        {"garbage then sections", garbage + "\n[USER_INFO]\nID=after\n"},
        {"no closing bracket", "[USER_INFO\nID=x\n[TRANSPARENCY\nRATE_TRANSPARENCY=5\n"},
        {"nul bytes", std::string("[USER_INFO]\nID=ab\0cd\n[SYS_INFO\0]\nIP=1\n", 38)},
        {"huge values", "[DISAPPEARANCE]\nTIME_DISAPPARANCE=" + megabytes + "\n[USER_INFO]\nID=" + megabytes + "\n"},
    };
    for (const auto& f : files) {
        put(iniPath(), f.bytes);
        AppSettings s;
        ASSERT_TRUE(loadSettings(iniPath(), s)) << f.name;
        EXPECT_LE(s.userId.size(), 199u) << f.name;
        if (f.name == "garbage then sections") {
            EXPECT_EQ(s.userId, "after");
        }
        if (f.name == "no closing bracket") {
            EXPECT_EQ(s.userId, "");
            EXPECT_EQ(s.transparencyPercent, 70);
        }
        if (f.name == "nul bytes") {
            EXPECT_EQ(s.userId, "ab");
            EXPECT_EQ(s.exchangeAddress, "");
        }
        if (f.name == "huge values") {
            EXPECT_EQ(s.autoHideSeconds, -1);  // overflow reads as 4294967295
        }
    }
}

TEST(windowAlpha, FollowsTheRateAndStaysInByteRange) {
    const struct {
        bool transparent;
        std::int32_t percent;
        int alpha;
    } cases[] = {
        {true, 70, 77},  {false, 70, 255}, {true, 0, 255},       {true, 1, 253},         {true, 100, 0},
        {true, 1000, 0}, {true, -50, 255}, {true, INT32_MAX, 0}, {true, INT32_MIN, 255},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(windowAlpha(c.transparent, c.percent), c.alpha) << c.percent;
    }
}

TEST(updateCallDialogValues, TrimsAccountButNotAddressAndKeepsDelayWhileAutoHideIsOff) {
    AppSettings s;
    s.userId = " id ";
    s.password = "\tpw\n";
    s.exchangeAddress = " 10.1.1.1 ";
    s.exchangePort = " 443 ";
    s.autoHideSeconds = 9;
    CallDialogValues dialog;
    updateCallDialogValues(s, dialog);
    EXPECT_EQ(dialog.userId + "|" + dialog.password + "|" + dialog.exchangeAddress + "|" + dialog.exchangePort,
              "id|pw| 10.1.1.1 |443");
    trimAccount(s);
    EXPECT_EQ(s.userId + "|" + s.password + "|" + s.exchangeAddress + "|" + s.exchangePort, "id|pw| 10.1.1.1 |443");
    EXPECT_EQ(dialog.hideDelayMs, 9000);

    s.autoHide = false;
    s.autoHideSeconds = 2;
    updateCallDialogValues(s, dialog);
    EXPECT_EQ(dialog.hideDelayMs, 9000);

    s.autoHide = true;
    s.autoHideSeconds = -25;  // hand-edited: no negative timer period
    updateCallDialogValues(s, dialog);
    EXPECT_EQ(dialog.hideDelayMs, 0);
}

TEST(updateDialingRules, CopiesTheAccessCodes) {
    AppSettings s;
    s.coAccessCode = "0";
    s.pbxCode = "1";
    s.myCountryCode = "2";
    s.myAreaCode = "3";
    s.internationalCode = "4";
    s.longDistanceCode = "5";
    s.addZero = false;
    DialingRules rules;
    rules.addZero = true;
    updateDialingRules(s, rules);
    EXPECT_EQ(rules.coAccessCode + rules.pbxCode + rules.myCountryCode + rules.myAreaCode + rules.internationalCode +
                  rules.longDistanceCode,
              "012345");
    EXPECT_FALSE(rules.addZero);
}

}  // namespace
}  // namespace pellandor
