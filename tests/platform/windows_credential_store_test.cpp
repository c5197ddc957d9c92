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
    std::string secret, error;
    EXPECT_EQ(store->lookup(key, secret, error), CredentialStatus::NotFound) << error;

    ASSERT_EQ(store->store(key, "s<&>cret wörd ☎", error), CredentialStatus::Ok) << error;
    ASSERT_EQ(store->lookup(key, secret, error), CredentialStatus::Ok) << error;
    EXPECT_EQ(secret, "s<&>cret wörd ☎");
    ASSERT_EQ(store->store(key, "second", error), CredentialStatus::Ok) << error;
    ASSERT_EQ(store->lookup(key, secret, error), CredentialStatus::Ok) << error;
    EXPECT_EQ(secret, "second");

    // Longer than a credential holds: refused, and the entry is unchanged.
    EXPECT_EQ(store->store(key, std::string(300, 'x'), error), CredentialStatus::Failed);
    EXPECT_NE(error.find("longer"), std::string::npos) << error;
    ASSERT_EQ(store->lookup(key, secret, error), CredentialStatus::Ok) << error;
    EXPECT_EQ(secret, "second");

    EXPECT_EQ(store->remove(key, error), CredentialStatus::Ok) << error;
    EXPECT_EQ(store->lookup(key, secret, error), CredentialStatus::NotFound);
    EXPECT_EQ(store->remove(key, error), CredentialStatus::NotFound);
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
    std::string error;
    for (const CredentialKey& key : keys) {
        ASSERT_EQ(store->store(key, key.exchangeAddress + "|" + key.userId, error), CredentialStatus::Ok) << error;
    }
    for (const CredentialKey& key : keys) {
        std::string secret;
        EXPECT_EQ(store->lookup(key, secret, error), CredentialStatus::Ok) << key.exchangeAddress;
        EXPECT_EQ(secret, key.exchangeAddress + "|" + key.userId);
        EXPECT_EQ(store->remove(key, error), CredentialStatus::Ok) << key.exchangeAddress;
    }
}

}  // namespace
}  // namespace pellandor
