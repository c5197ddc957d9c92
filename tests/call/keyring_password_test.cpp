#include "call/keyring_password.h"
#include "call/settings_dialog_save.h"
#include "config/app_settings.h"
#include "config/ini_file.h"
#include "config/security_settings.h"
#include "config/stored_password.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <utility>

namespace pellandor {
namespace {

// A store in memory; `answer` is what a write reports instead of storing.
class MemoryStore final : public CredentialStore {
public:
    std::map<std::pair<std::string, std::string>, std::string> entries;
    std::optional<ErrorCode> answer;

    std::string describe() const override { return "the memory store"; }
    Status store(const CredentialKey& key, std::string_view secret) override {
        if (answer) return failure("no", *answer);
        entries[{key.exchangeAddress, key.userId}] = std::string(secret);
        return {};
    }
    Result<std::string> lookup(const CredentialKey& key) override {
        const auto found = entries.find({key.exchangeAddress, key.userId});
        if (found == entries.end()) return failure("none", ErrorCode::NotFound);
        return found->second;
    }
    Status remove(const CredentialKey& key) override {
        if (answer) return failure("no", *answer);
        return entries.erase({key.exchangeAddress, key.userId}) ? Status()
                                                                : Status(failure("none", ErrorCode::NotFound));
    }
};

AppSettings account(const std::string& address, const std::string& user, const std::string& password) {
    AppSettings s;
    s.exchangeAddress = address;
    s.userId = user;
    s.password = password;
    return s;
}

TEST(DialogPasswordTest, GoesWhereTheUserKeepsItAndLeavesNoStaleEntry) {
    const AppSettings before = account("10.0.0.1", "alice", "old");
    struct Case {
        const char* what;
        AppSettings next;
        bool keep;
        PasswordPlace place;
        std::map<std::pair<std::string, std::string>, std::string> after;
    };
    const Case cases[] = {
        {"kept, same account",
         account("10.0.0.1", "alice", " new "),
         true,
         PasswordPlace::Keyring,
         {{{"10.0.0.1", "alice"}, "new"}}},
        {"kept, new address: the entry follows",
         account("10.0.0.2", "alice", "new"),
         true,
         PasswordPlace::Keyring,
         {{{"10.0.0.2", "alice"}, "new"}}},
        {"kept, emptied", account("10.0.0.1", "alice", ""), true, PasswordPlace::Keyring, {}},
        {"back to the file", account("10.0.0.1", "alice", "new"), false, PasswordPlace::File, {}},
    };
    for (const Case& c : cases) {
        MemoryStore store;
        store.entries[{"10.0.0.1", "alice"}] = "old";
        bool answers = true;
        const Result<PasswordPlace> place = placeDialogPassword(before, c.next, c.keep, answers, store);
        ASSERT_TRUE(place) << c.what;
        EXPECT_EQ(*place, c.place) << c.what;
        EXPECT_EQ(store.entries, c.after) << c.what;
        EXPECT_TRUE(answers) << c.what;
    }
}

TEST(DialogPasswordTest, ARefusingStoreFailsAndAVanishedOneLeavesItToTheFile) {
    const AppSettings before = account("10.0.0.1", "alice", "old");
    const AppSettings next = account("10.0.0.2", "alice", "new");
    MemoryStore store;
    store.entries[{"10.0.0.1", "alice"}] = "old";
    bool answers = true;

    store.answer = ErrorCode::Failed;
    EXPECT_FALSE(placeDialogPassword(before, next, true, answers, store));
    EXPECT_TRUE(answers);

    store.answer = ErrorCode::NoStore;
    const Result<PasswordPlace> place = placeDialogPassword(before, next, true, answers, store);
    ASSERT_TRUE(place);
    EXPECT_EQ(*place, PasswordPlace::File);
    EXPECT_FALSE(answers);
    EXPECT_EQ(store.entries.size(), 1u);  // the old entry is not touched by a failed write

    // Once known to be gone, the store is left alone.
    store.answer.reset();
    EXPECT_EQ(*placeDialogPassword(before, next, true, answers, store), PasswordPlace::File);
    EXPECT_EQ(store.entries.count({"10.0.0.2", "alice"}), 0u);
}

class DialogSaveTest : public test::ScratchFolder {
protected:
    void SetUp() override {
        ScratchFolder::SetUp();
        put(iniPath(),
            "[USER_INFO]\nID=alice\nPW=old\nPN=2001\n[SYS_INFO]\nIP=10.0.0.1\nPORT=443\n"
            "[SECURITY]\nPINNED_KEY=ab:cd\nPINNED_EXCHANGE=10.0.0.1:443\n");
        model = std::make_unique<SettingsModel>(iniPath(), pathOf("language.ini"));
        ASSERT_TRUE(model->load());
    }
    SecuritySettings security() const { return loadSecuritySettings(IniFile::snapshot(iniPath())); }

    std::unique_ptr<SettingsModel> model;  // made once the scratch folder is there
    MemoryStore store;
};

TEST_F(DialogSaveTest, PasswordGoesWhereChosenAndTheSecuritySectionFollows) {
    ASSERT_EQ(pinFor(security(), "10.0.0.1:443"), "ab:cd");
    bool answers = true;

    // Into the keyring, with a new address: the file keeps no password, and
    // the old exchange's key is no key of the new one.
    AppSettings next = model->settings();
    next.exchangeAddress = "10.0.0.2";
    next.password = "new";
    DialogSave save = saveDialogSettings(*model, next, true, answers, store);
    ASSERT_EQ(save.outcome, DialogSave::Outcome::Saved) << save.error;
    EXPECT_TRUE(save.warnings.empty());
    EXPECT_EQ(IniFile(iniPath()).getString("USER_INFO", "PW"), "");
    EXPECT_EQ(store.entries, (decltype(store.entries){{{"10.0.0.2", "alice"}, "new"}}));
    EXPECT_TRUE(security().pinnedKey.empty());
    EXPECT_TRUE(security().useKeyring);

    // Back to the file: the keyring keeps no copy and the choice is written.
    next = model->settings();
    next.password = "newer";
    save = saveDialogSettings(*model, next, false, answers, store);
    ASSERT_EQ(save.outcome, DialogSave::Outcome::Saved) << save.error;
    EXPECT_EQ(decodeStoredPassword(IniFile(iniPath()).getString("USER_INFO", "PW")), "newer");
    EXPECT_TRUE(store.entries.empty());
    EXPECT_FALSE(security().useKeyring);
}

TEST_F(DialogSaveTest, RefusalsWriteNothing) {
    const std::string before = get(iniPath());
    bool answers = true;
    AppSettings next = model->settings();
    next.exchangeAddress = "10.0.0.2";

    next.password = std::string(kStoredPasswordCapacity, 'x');
    EXPECT_EQ(saveDialogSettings(*model, next, false, answers, store).outcome, DialogSave::Outcome::PasswordTooLong);

    store.answer = ErrorCode::Failed;
    next.password = "new";
    const DialogSave refused = saveDialogSettings(*model, next, true, answers, store);
    EXPECT_EQ(refused.outcome, DialogSave::Outcome::KeyringRefused);
    EXPECT_EQ(refused.error, "no");

    EXPECT_EQ(get(iniPath()), before);
    EXPECT_TRUE(store.entries.empty());
    EXPECT_EQ(model->settings().exchangeAddress, "10.0.0.1");
}

}  // namespace
}  // namespace pellandor
