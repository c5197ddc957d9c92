#include "config/settings_model.h"
#include "config/call_log.h"
#include "support/scratch_folder.h"

#include <sys/stat.h>

#include <vector>

namespace pellandor {
namespace {

using test::ScratchFolder;

TEST_F(ScratchFolder, ModelSaysWhyTheSettingsFileCannotBeRead) {
    SettingsModel missing(iniPath(), pathOf("language.ini"));
    EXPECT_TRUE(missing.load());  // missing is fine
    ASSERT_EQ(::mkdir(iniPath().c_str(), 0700), 0);
    SettingsModel folder(iniPath(), pathOf("language.ini"));
    const Status loaded = folder.load();
    EXPECT_FALSE(loaded);
    EXPECT_NE(loaded.error().find("not a regular file"), std::string::npos);
}

TEST_F(ScratchFolder, ModelHoldsWhatTheProgramHoldsAtStart) {
    put(pathOf("language.ini"), "[LOCAL]\nCAPTION=Lokal\n");
    put(iniPath(),
        "[USER_INFO]\nID= alice \n[LANGUAGE]\nLAN=ENG\n[ACCESSCODE]\nCO_ACCESS_CODE=9\n"
        "[DIALING_RULE_ADV_ADV]\nUSE_NON_STD=1\nLENGTH_CO_EXTENSION=6\n");
    SettingsModel model(iniPath(), pathOf("language.ini"));
    ASSERT_TRUE(model.load());
    EXPECT_EQ(model.settings().userId, "alice");  // held without the file's blanks
    EXPECT_EQ(model.rules().coAccessCode, "9");
    EXPECT_FALSE(model.rules().addZero);         // ACCESSCODE present without the key
    EXPECT_TRUE(model.rules().usePopupForChar);  // no DIALING_RULE_ADV section
    EXPECT_EQ(model.rules().minPopupLength, 3);
    EXPECT_TRUE(model.rules().useNonStandard);
    EXPECT_EQ(model.rules().coExtensionLength, 6);
    EXPECT_EQ(model.callDialogValues().hideDelayMs, 5000);
    EXPECT_EQ(model.texts().text("CAPTION"), "Settings");  // no ENG section: built-in
    EXPECT_EQ(model.settings().language, "ENG");

    put(iniPath(), "[LANGUAGE]\nLAN=LOCAL\n[DIALING_RULE_ADV_ADV]\nLENGTH_CO_EXTENSION=\n");
    SettingsModel local(iniPath(), pathOf("language.ini"));
    ASSERT_TRUE(local.load());
    EXPECT_EQ(local.texts().text("CAPTION"), "Lokal");
    EXPECT_EQ(local.rules().coExtensionLength, DialingRules{}.coExtensionLength);
    EXPECT_EQ(local.advancedTexts().text("DIALING_ADV_ADV"), "");  // LOCAL lacks it: empty, not English
}

// Records what the observers hear.
struct Heard {
    std::vector<unsigned> aspects;
    std::vector<bool> outside;
};

std::size_t listen(SettingsModel& model, Heard& heard) {
    return model.subscribe([&heard](const SettingsChange& change) {
        heard.aspects.push_back(change.aspects);
        heard.outside.push_back(change.fromOutside);
    });
}

TEST_F(ScratchFolder, SaveWritesOnlyItsPartAndTellsWhatChanged) {
    put(iniPath(), "[HOTKEY]\nUSE_HOTKEY=1\nMOD_KEY=ALT\nVIRTUAL_KEY=Q\n[CALL_LOG]\nNUM_LOG=1\nLOG0=555\n");
    SettingsModel model(iniPath(), pathOf("language.ini"));
    ASSERT_TRUE(model.load());
    Heard heard;
    listen(model, heard);

    AppSettings edited = model.settings();
    edited.hotkeyKey = "W";
    edited.prefix1 = "0800";  // another part: not taken with this save
    ASSERT_TRUE(model.save(edited, SettingsPart::General));
    EXPECT_EQ(model.settings().hotkeyKey, "W");
    EXPECT_EQ(model.settings().prefix1, "");
    EXPECT_EQ(heard.aspects, std::vector<unsigned>{kAspectHotkey});
    EXPECT_EQ(heard.outside, std::vector<bool>{false});
    const std::string file = get(iniPath());
    EXPECT_NE(file.find("VIRTUAL_KEY=W\n"), std::string::npos);
    EXPECT_EQ(file.find("DIALING_RULE_ADV"), std::string::npos);
    EXPECT_NE(file.find("LOG0=555\n"), std::string::npos);

    edited = model.settings();
    edited.prefix1 = "0800";
    edited.useNonStandard = true;
    ASSERT_TRUE(model.save(edited, SettingsPart::SpecialDialing));
    EXPECT_EQ(model.rules().prefix1, "0800");
    EXPECT_EQ(heard.aspects.back(), unsigned{kAspectDialingRules});

    // Saving the same values again tells nobody.
    ASSERT_TRUE(model.save(model.settings(), SettingsPart::General));
    EXPECT_EQ(heard.aspects.size(), 2u);
}

TEST_F(ScratchFolder, ReloadTakesOutsideChangesButNotItsOwnSaveOrABadFile) {
    put(pathOf("language.ini"), "[LOCAL]\nSETTINGS=Einstellungen\n");
    SettingsModel model(iniPath(), pathOf("language.ini"));
    ASSERT_TRUE(model.load());
    Heard heard;
    listen(model, heard);

    // Our own save read back is no change.
    AppSettings edited = model.settings();
    edited.userId = "  bob";
    ASSERT_TRUE(model.save(edited, SettingsPart::General));
    EXPECT_EQ(model.settings().userId, "bob");
    ASSERT_TRUE(model.reload());
    EXPECT_EQ(heard.aspects.size(), 1u);

    // Another program's change, in every aspect at once.
    std::string text = get(iniPath());
    for (const auto& [from, to] :
         std::vector<std::pair<std::string, std::string>>{{"VIRTUAL_KEY=Q", "VIRTUAL_KEY=F"},
                                                          {"LAN=ENG", "LAN=LOCAL"},
                                                          {"USE_AUTOSTART=0", "USE_AUTOSTART=1"},
                                                          {"USE_HANGUP=0", "USE_HANGUP=1"},
                                                          {"CO_ACCESS_CODE=", "CO_ACCESS_CODE=0"}}) {
        const auto at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
    }
    put(iniPath(), text);
    ASSERT_TRUE(model.reload());
    ASSERT_EQ(heard.aspects.size(), 2u);
    EXPECT_EQ(heard.aspects[1], unsigned{kAspectHotkey | kAspectLanguage | kAspectStartAtLogin | kAspectCallDialog |
                                         kAspectDialingRules});
    EXPECT_TRUE(heard.outside[1]);
    EXPECT_EQ(model.texts().text("SETTINGS"), "Einstellungen");
    EXPECT_TRUE(model.callDialogValues().showHangup);
    EXPECT_EQ(model.rules().coAccessCode, "0");

    // Missing or unreadable: the program keeps what it has.
    ::unlink(iniPath().c_str());
    EXPECT_FALSE(model.reload());
    ASSERT_EQ(::mkdir(iniPath().c_str(), 0700), 0);
    EXPECT_FALSE(model.reload());
    EXPECT_EQ(model.settings().hotkeyKey, "F");
    EXPECT_EQ(heard.aspects.size(), 2u);
}

TEST_F(ScratchFolder, FailedSaveChangesNothing) {
    put(pathOf("blocked"), "x");
    SettingsModel model(pathOf("blocked/pellandor_settings.ini"), pathOf("language.ini"));
    (void)model.load();
    Heard heard;
    listen(model, heard);
    AppSettings edited = model.settings();
    edited.userId = "carol";
    EXPECT_FALSE(model.save(edited, SettingsPart::General));
    EXPECT_EQ(model.settings().userId, "");
    EXPECT_TRUE(heard.aspects.empty());
}

// A password too long to store: the file keeps its old one, and so does the
// program, while the rest of the save is taken in.
TEST_F(ScratchFolder, SaveWithAPasswordTooLongKeepsTheOldPasswordOnly) {
    SettingsModel model(iniPath(), pathOf("language.ini"));
    ASSERT_TRUE(model.load());
    AppSettings edited = model.settings();
    edited.password = "old";
    ASSERT_TRUE(model.save(edited, SettingsPart::General));
    edited.userId = "carol";
    edited.password = std::string(97, 'p');
    const Status saved = model.save(edited, SettingsPart::General);
    EXPECT_EQ(saved.code(), ErrorCode::Partial) << saved.error();
    EXPECT_EQ(model.settings().userId, "carol");
    EXPECT_EQ(model.settings().password, "old");
    AppSettings stored;
    loadSettings(iniPath(), stored);
    EXPECT_EQ(stored.password, "old");
}

}  // namespace
}  // namespace pellandor
