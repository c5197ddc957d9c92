#include "config/ini_file.h"
#include "config/security_settings.h"

#include "base/status_assert.h"
#include "support/scratch_folder.h"

namespace pellandor {
namespace {

using test::ScratchFolder;

constexpr const char* kKeyA = "AA:AA";  // the file code does not parse keys; short stand-ins keep lines readable
constexpr const char* kKeyB = "BB:BB";

SecuritySettings load(const std::string& path) {
    return loadSecuritySettings(IniFile::snapshot(path));
}

TEST(ExchangeNameTest, BracketsAnIpv6Address) {
    EXPECT_EQ(exchangeName(" 10.0.0.5 ", "443"), "10.0.0.5:443");
    EXPECT_EQ(exchangeName("::1", "8443"), "[::1]:8443");
    EXPECT_EQ(exchangeName("pbx.example", "443"), "pbx.example:443");
}

TEST_F(ScratchFolder, FirstPinIsKeptOnlyOnceAndOnlyForItsExchange) {
    const std::string system = "[USER_INFO]\r\nID=alice\r\n[SYS_INFO]\r\nIP=10.0.0.5\r\nPORT=443\r\n";
    put(iniPath(), system);
    std::string error;
    EXPECT_EQ(rememberFirstPin(iniPath(), "10.0.0.5:443", kKeyA, error), PinWrite::Stored) << error;
    // Another process's later first use does not replace the key kept first.
    EXPECT_EQ(rememberFirstPin(iniPath(), "10.0.0.5:443", kKeyB, error), PinWrite::AlreadyPinned);
    const std::string bytes = get(iniPath());
    EXPECT_EQ(bytes.substr(0, system.size()), system) << "the system's sections stay as they were";
    EXPECT_NE(bytes.find("[SECURITY]\r\nPINNED_KEY=AA:AA\r\nPINNED_EXCHANGE=10.0.0.5:443\r\n"), std::string::npos)
        << bytes;

    const SecuritySettings security = load(iniPath());
    EXPECT_EQ(pinFor(security, "10.0.0.5:443"), kKeyA);
    EXPECT_EQ(pinFor(security, "10.0.0.5:8443"), "") << "a pin never carries over to another port";

    // A pin kept for another exchange is replaced by the first use of this one.
    EXPECT_EQ(rememberFirstPin(iniPath(), "10.0.0.6:443", kKeyB, error), PinWrite::Stored);
    EXPECT_EQ(pinFor(load(iniPath()), "10.0.0.6:443"), kKeyB);
}

TEST_F(ScratchFolder, AcceptingForgettingAndDroppingThePin) {
    put(iniPath(), "[SECURITY]\nUSE_KEYRING=0\nREQUIRED_KEY= CC:CC \n");
    std::string error;
    ASSERT_TRUE(writePin(iniPath(), "10.0.0.5:443", kKeyA, error)) << error;
    ASSERT_TRUE(writePin(iniPath(), "10.0.0.5:443", kKeyB, error));
    SecuritySettings security = load(iniPath());
    EXPECT_EQ(pinFor(security, "10.0.0.5:443"), kKeyB);
    EXPECT_FALSE(security.useKeyring);
    EXPECT_EQ(security.requiredKey, "CC:CC");

    // The same exchange keeps its pin, and the file is not rewritten for nothing.
    const std::string before = get(iniPath());
    ASSERT_TRUE(dropPinUnlessFor(iniPath(), "10.0.0.5:443", error));
    EXPECT_EQ(get(iniPath()), before);
    ASSERT_TRUE(dropPinUnlessFor(iniPath(), "10.0.0.5:444", error));
    security = load(iniPath());
    EXPECT_EQ(security.pinnedKey, "");
    EXPECT_EQ(security.pinnedExchange, "");
    EXPECT_EQ(security.requiredKey, "CC:CC") << "provisioned values are not the pin";

    ASSERT_TRUE(writePin(iniPath(), "10.0.0.5:443", kKeyA, error));
    ASSERT_TRUE(writePin(iniPath(), "10.0.0.5:443", "", error));
    EXPECT_EQ(pinFor(load(iniPath()), "10.0.0.5:443"), "");
}

TEST_F(ScratchFolder, KeyringIsUsedUnlessTurnedOff) {
    EXPECT_TRUE(load(iniPath()).useKeyring);  // no file
    put(iniPath(), "[SECURITY]\nUSE_KEYRING=1\n");
    EXPECT_TRUE(load(iniPath()).useKeyring);
}

}  // namespace
}  // namespace pellandor
