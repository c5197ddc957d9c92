#include "config/cini.h"
#include "config/security_settings.h"

#include "test_files.h"

namespace pellandor {
namespace {

using test::ScratchFolder;

constexpr const char* kKeyA = "AA:AA";  // the file code does not parse keys; short stand-ins keep lines readable
constexpr const char* kKeyB = "BB:BB";

SecuritySettings Load(const std::string& path) {
    return LoadSecuritySettings(CIni::Snapshot(path));
}

TEST(ExchangeNameTest, BracketsAnIpv6Address) {
    EXPECT_EQ(ExchangeName(" 10.0.0.5 ", "443"), "10.0.0.5:443");
    EXPECT_EQ(ExchangeName("::1", "8443"), "[::1]:8443");
    EXPECT_EQ(ExchangeName("pbx.example", "443"), "pbx.example:443");
}

TEST_F(ScratchFolder, FirstPinIsKeptOnlyOnceAndOnlyForItsExchange) {
    const std::string system = "[USER_INFO]\r\nID=alice\r\n[SYS_INFO]\r\nIP=10.0.0.5\r\nPORT=443\r\n";
    Put(Ini(), system);
    std::string error;
    EXPECT_EQ(RememberFirstPin(Ini(), "10.0.0.5:443", kKeyA, error), PinWrite::Stored) << error;
    // Another process's later first use does not replace the key kept first.
    EXPECT_EQ(RememberFirstPin(Ini(), "10.0.0.5:443", kKeyB, error), PinWrite::AlreadyPinned);
    const std::string bytes = Get(Ini());
    EXPECT_EQ(bytes.substr(0, system.size()), system) << "the system's sections stay as they were";
    EXPECT_NE(bytes.find("[SECURITY]\r\nPINNED_KEY=AA:AA\r\nPINNED_EXCHANGE=10.0.0.5:443\r\n"), std::string::npos)
        << bytes;

    const SecuritySettings security = Load(Ini());
    EXPECT_EQ(PinFor(security, "10.0.0.5:443"), kKeyA);
    EXPECT_EQ(PinFor(security, "10.0.0.5:8443"), "") << "a pin never carries over to another port";

    // A pin kept for another exchange is replaced by the first use of this one.
    EXPECT_EQ(RememberFirstPin(Ini(), "10.0.0.6:443", kKeyB, error), PinWrite::Stored);
    EXPECT_EQ(PinFor(Load(Ini()), "10.0.0.6:443"), kKeyB);
}

TEST_F(ScratchFolder, AcceptingForgettingAndDroppingThePin) {
    Put(Ini(), "[SECURITY]\nUSE_KEYRING=0\nREQUIRED_KEY= CC:CC \n");
    std::string error;
    ASSERT_TRUE(WritePin(Ini(), "10.0.0.5:443", kKeyA, error)) << error;
    ASSERT_TRUE(WritePin(Ini(), "10.0.0.5:443", kKeyB, error));
    SecuritySettings security = Load(Ini());
    EXPECT_EQ(PinFor(security, "10.0.0.5:443"), kKeyB);
    EXPECT_FALSE(security.useKeyring);
    EXPECT_EQ(security.requiredKey, "CC:CC");

    // The same exchange keeps its pin, and the file is not rewritten for nothing.
    const std::string before = Get(Ini());
    ASSERT_TRUE(DropPinUnlessFor(Ini(), "10.0.0.5:443", error));
    EXPECT_EQ(Get(Ini()), before);
    ASSERT_TRUE(DropPinUnlessFor(Ini(), "10.0.0.5:444", error));
    security = Load(Ini());
    EXPECT_EQ(security.pinnedKey, "");
    EXPECT_EQ(security.pinnedExchange, "");
    EXPECT_EQ(security.requiredKey, "CC:CC") << "provisioned values are not the pin";

    ASSERT_TRUE(WritePin(Ini(), "10.0.0.5:443", kKeyA, error));
    ASSERT_TRUE(WritePin(Ini(), "10.0.0.5:443", "", error));
    EXPECT_EQ(PinFor(Load(Ini()), "10.0.0.5:443"), "");
}

TEST_F(ScratchFolder, KeyringIsUsedUnlessTurnedOff) {
    EXPECT_TRUE(Load(Ini()).useKeyring);  // no file
    Put(Ini(), "[SECURITY]\nUSE_KEYRING=1\n");
    EXPECT_TRUE(Load(Ini()).useKeyring);
}

}  // namespace
}  // namespace pellandor
