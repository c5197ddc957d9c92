// The Credential Manager backend, run under Wine (advapi32 keeps the
// entries in the prefix's registry). User IDs carry the process ID, so a
// run never meets another run's entries.
#include "platform/credential_store.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace pellandor {
namespace {

std::string runTag() {
    return "-" + std::to_string(GetCurrentProcessId());
}

TEST(WindowsCredentialStore, StoresLooksUpReplacesAndRemoves) {
    const auto store = openCredentialStore();
    const CredentialKey key{"10.0.0.5", "alice" + runTag()};
    EXPECT_EQ(store->lookup(key).code(), ErrorCode::NotFound) << store->lookup(key).error();

    Status stored = store->store(key, "s<&>cret wörd ☎");
    ASSERT_TRUE(stored) << stored.error();
    Result<std::string> secret = store->lookup(key);
    ASSERT_TRUE(secret) << secret.error();
    EXPECT_EQ(*secret, "s<&>cret wörd ☎");
    stored = store->store(key, "second");
    ASSERT_TRUE(stored) << stored.error();
    secret = store->lookup(key);
    ASSERT_TRUE(secret) << secret.error();
    EXPECT_EQ(*secret, "second");

    // Longer than a credential holds: refused, and the entry is unchanged.
    const Status tooLong = store->store(key, std::string(300, 'x'));
    ASSERT_FALSE(tooLong);
    EXPECT_EQ(tooLong.code(), ErrorCode::Failed);
    EXPECT_NE(tooLong.error().find("longer"), std::string::npos) << tooLong.error();
    secret = store->lookup(key);
    ASSERT_TRUE(secret) << secret.error();
    EXPECT_EQ(*secret, "second");

    const Status removed = store->remove(key);
    EXPECT_TRUE(removed) << removed.error();
    EXPECT_EQ(store->lookup(key).code(), ErrorCode::NotFound);
    EXPECT_EQ(store->remove(key).code(), ErrorCode::NotFound);
}

TEST(WindowsCredentialStore, KeysWhoseTextsRunTogetherStayApart) {
    const auto store = openCredentialStore();
    const std::string tag = runTag();
    const CredentialKey keys[] = {
        {"10.0.0.5/x", "y" + tag},
        {"10.0.0.5", "x/y" + tag},
        {"10.0.0.5%2Fx", "y" + tag},
        {"exchange.example", "Zoë" + tag},
    };
    for (const CredentialKey& key : keys) {
        const Status stored = store->store(key, key.exchangeAddress + "|" + key.userId);
        ASSERT_TRUE(stored) << stored.error();
    }
    for (const CredentialKey& key : keys) {
        const Result<std::string> secret = store->lookup(key);
        ASSERT_TRUE(secret) << key.exchangeAddress << ": " << secret.error();
        EXPECT_EQ(*secret, key.exchangeAddress + "|" + key.userId);
        EXPECT_TRUE(store->remove(key)) << key.exchangeAddress;
    }
}

}  // namespace
}  // namespace pellandor
