#include "config/settings_access.h"
#include "platform/paths.h"
#include "support/scratch_folder.h"

#include <sys/stat.h>

#include <map>
#include <optional>

namespace pellandor {
namespace {

using test::ScratchFolder;

TEST_F(ScratchFolder, ReadShowsValuesAsTheProgramConvertsThem) {
    const Status written = writeSettingAsProgram(iniPath(), "user_info", "pw", "  secret  ");
    ASSERT_TRUE(written) << written.error();
    std::string text = get(iniPath());
    text +=
        "[DISAPPEARANCE]\nUSE_DISAPPEARANCE=Yes\nTIME_DISAPPARANCE=-25\n"
        "[TRANSPARENCY]\nRATE_TRANSPARENCY=12abc\n"
        "[SYS_INFO]\nIP=" +
        std::string(250, '1') +
        "\n"
        "[DIALING_RULE_ADV]\nUSE_AREA_CODE=true\nNUM_ADD_EQUAL=" +
        std::string(150, '2') +
        "\n"
        "[CALL_LOG]\nMAX_NUM_LOG=  07x\nLOG0=  0301 555  \n"
        "[OTHER]\nPW=stays as stored\n";
    put(iniPath(), text);
    const struct {
        const char* section;
        const char* key;
        std::optional<std::string> value;
    } cases[] = {
        {"USER_INFO", "PW", "secret"},
        {"DISAPPEARANCE", "use_disappearance", "1"},
        {"DISAPPEARANCE", "TIME_DISAPPARANCE", "-25"},
        {"TRANSPARENCY", "RATE_TRANSPARENCY", "12"},
        {"SYS_INFO", "IP", std::string(199, '1')},
        {"DIALING_RULE_ADV", "USE_AREA_CODE", "1"},
        {"DIALING_RULE_ADV", "NUM_ADD_EQUAL", std::string(99, '2')},
        {"CALL_LOG", "MAX_NUM_LOG", "07x"},
        {"CALL_LOG", "LOG0", "0301 555"},
        {"OTHER", "PW", "stays as stored"},
        {"SYS_INFO", "PORT", std::nullopt},
        {"HOTKEY", "USE_HOTKEY", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(readSettingAsProgram(iniPath(), c.section, c.key), c.value) << c.section << "/" << c.key;
    }
}

TEST_F(ScratchFolder, WriteStoresLikeTheProgramAndRefusesWhatItCannotStore) {
    EXPECT_TRUE(writeSettingAsProgram(iniPath(), "hotkey", "mod_key", "CTRL"));
    EXPECT_TRUE(writeSettingAsProgram(iniPath(), "Custom", "Key", " kept verbatim"));
    EXPECT_TRUE(writeSettingAsProgram(iniPath(), "USER_INFO", "PW", std::string(96, 'x')));
    EXPECT_EQ(get(iniPath()).find(std::string(96, 'x')), std::string::npos);  // never in clear
    const std::string before = get(iniPath());
    EXPECT_EQ(before.find("[HOTKEY]\nMOD_KEY=CTRL\n"), 0u);

    // A bad name is the caller's mistake (a command line shows its usage); a
    // bad value is refused.
    const struct {
        const char* section;
        const char* key;
        std::string value;
        ErrorCode code;
        const char* said;
    } refused[] = {
        {"USER_INFO", "PW", std::string(97, 'y'), ErrorCode::Failed, "too long"},
        {"USER_INFO", "ID", "a\nb", ErrorCode::Failed, "line break"},
        {"USER]INFO", "ID", "a", ErrorCode::InvalidArgument, "invalid section or key name"},
        {"USER_INFO", "", "a", ErrorCode::InvalidArgument, "invalid section or key name"},
    };
    for (const auto& c : refused) {
        const Status written = writeSettingAsProgram(iniPath(), c.section, c.key, c.value);
        EXPECT_FALSE(written) << c.section << "/" << c.key;
        EXPECT_EQ(written.code(), c.code) << c.section << "/" << c.key;
        EXPECT_NE(written.error().find(c.said), std::string::npos) << written.error();
    }
    EXPECT_EQ(get(iniPath()), before);

    EXPECT_EQ(readSettingAsProgram(iniPath(), "USER_INFO", "PW"), std::string(96, 'x'));
    EXPECT_EQ(readSettingAsProgram(iniPath(), "CUSTOM", "KEY"), "kept verbatim");
}

// The password is trimmed before it is checked, as a save from the settings
// dialog trims it; a break inside it is still refused.
TEST_F(ScratchFolder, PasswordIsTrimmedBeforeItIsChecked) {
    const struct {
        const char* typed;
        const char* stored;  // nullptr: refused
    } cases[] = {
        {" secret\n", "secret"},
        {"\t\r\nsecret \r\n", "secret"},
        {"sec\nret", nullptr},
    };
    for (const auto& c : cases) {
        put(iniPath(), "[USER_INFO]\nPW=\n");
        const Status written = writeSettingAsProgram(iniPath(), "USER_INFO", "PW", c.typed);
        EXPECT_EQ(written.ok(), c.stored != nullptr) << testing::PrintToString(std::string(c.typed)) << written.error();
        if (c.stored == nullptr) continue;
        EXPECT_EQ(readSettingAsProgram(iniPath(), "USER_INFO", "PW"), c.stored);
    }
}

TEST_F(ScratchFolder, ListShowsEverySettingWithTheProgramsDefaults) {
    put(iniPath(), "[CALL_LOG]\nNUM_LOG=2\nLOG0=11\nLOG1=22\n[DLG_POS]\nY=-5\n");
    const auto rows = listSettings(iniPath());
    std::map<std::string, std::string> byKey(rows.begin(), rows.end());
    EXPECT_EQ(byKey.size(), rows.size());
    EXPECT_EQ(rows.front().first, "USER_INFO/ID");
    EXPECT_EQ(byKey["DISAPPEARANCE/TIME_DISAPPARANCE"], "5");
    EXPECT_EQ(byKey["HOTKEY/MOD_KEY"], "ALT");
    EXPECT_EQ(byKey["DIALING_RULE_ADV/USE_POPUP_FOR_CHAR"], "1");
    EXPECT_EQ(byKey["DIALING_RULE_ADV/MIN_POPUP_LENGTH"], "3");
    EXPECT_EQ(byKey["DIALING_RULE_ADV_ADV/LENGTH_CO_EXTENSION"], "");
    EXPECT_EQ(byKey["CALL_LOG/MAX_NUM_LOG"], "0");  // section present, key missing
    EXPECT_EQ(byKey["CALL_LOG/LOG1"], "22");
    EXPECT_EQ(byKey.count("CALL_LOG/LOG2"), 0u);
    EXPECT_EQ(byKey["DLG_POS/X"], "0");
    EXPECT_EQ(byKey["DLG_POS/Y"], "-5");
    EXPECT_EQ(rows.back(), (std::pair<std::string, std::string>{"DLG_STATUS/IS_MAX", "1"}));
}

class EnvironmentGuard {
public:
    explicit EnvironmentGuard(std::initializer_list<const char*> names) {
        for (const char* name : names) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        }
    }
    ~EnvironmentGuard() {
        for (const auto& [name, value] : saved_) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(defaultSettingsPath, FollowsTheEnvironment) {
    EnvironmentGuard guard({"PELLANDOR_SETTINGS", "XDG_CONFIG_HOME", "HOME"});
    const struct {
        const char* settings;
        const char* xdg;
        const char* home;
        const char* expected;
    } cases[] = {
        {"/x/mine.ini", "/cfg", "/home/u", "/x/mine.ini"},
        {"", "/cfg", "/home/u", "/cfg/pellandor_settings.ini"},
        {nullptr, "/cfg/", "/home/u", "/cfg/pellandor_settings.ini"},
        {nullptr, "", "/home/u", "/home/u/.config/pellandor_settings.ini"},
        {nullptr, "relative", "/home/u", "/home/u/.config/pellandor_settings.ini"},
        {nullptr, nullptr, "/home/v", "/home/v/.config/pellandor_settings.ini"},
    };
    for (const auto& c : cases) {
        auto set = [](const char* name, const char* value) {
            if (value)
                ::setenv(name, value, 1);
            else
                ::unsetenv(name);
        };
        set("PELLANDOR_SETTINGS", c.settings);
        set("XDG_CONFIG_HOME", c.xdg);
        set("HOME", c.home);
        EXPECT_EQ(defaultSettingsPath(), c.expected);
    }
}

TEST(languageFilePath, PrefersTheFileBesideTheExecutable) {
    // The build copies language.ini beside the test binary.
    EXPECT_EQ(languageFilePath(), moduleDirectory() + "/language.ini");
    EXPECT_EQ(moduleDirectory(), std::filesystem::canonical(PELLANDOR_BIN_DIR).string());
}

}  // namespace
}  // namespace pellandor
