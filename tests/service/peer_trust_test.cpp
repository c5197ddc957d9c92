#include "service/peer_trust.h"

#include <gtest/gtest.h>

#include <string>

namespace pellandor {
namespace {

const std::string kKey =
    "00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF:00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF";
const std::string kOther =
    "FF:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF:00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF";

TEST(KeyFingerprintTest, FormatsAndNormalisesWhatPeopleType) {
    const unsigned char digest[] = {0x00, 0x0f, 0xa0, 0xff};
    EXPECT_EQ(formatKeyFingerprint(digest, sizeof digest), "00:0F:A0:FF");

    const struct {
        const char* text;
        bool ok;
    } cases[] = {
        {"00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF:00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF", true},
        {"00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff", true},
        {" SHA256:00 11 22 33 44 55 66 77 88 99 aa bb cc dd ee ff 00 11 22 33 44 55 66 77 88 99 aa bb cc dd ee ff\r",
         true},
        {"00112233445566778899aabbccddeeff00112233445566778899aabbccddee", false},      // 31 bytes
        {"00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff00", false},  // 33 bytes
        {"0:0112233445566778899aabbccddeeff00112233445566778899aabbccddeeff", false},   // colon inside a pair
        {"00112233445566778899aabbccddeeff00112233445566778899aabbccddeefg", false},
        {"", false},
    };
    for (const auto& c : cases) {
        std::string normalised = "untouched";
        EXPECT_EQ(normalizeKeyFingerprint(c.text, normalised), c.ok) << c.text;
        EXPECT_EQ(normalised, c.ok ? kKey : "untouched") << c.text;
    }
}

TEST(KeyFingerprintTest, VerdictsOfThePolicy) {
    // (policy, chain verified, verdict)
    const struct {
        TrustPolicy policy;
        bool chainVerified;
        TrustVerdict verdict;
    } cases[] = {
        {{}, false, TrustVerdict::FirstUse},
        {{kKey, false, ""}, false, TrustVerdict::Matches},
        {{kOther, false, ""}, false, TrustVerdict::KeyChanged},
        {{kOther, true, ""}, false, TrustVerdict::KeyChanged},
        {{"", true, "/ca.pem"}, false, TrustVerdict::ChainRejected},
        {{"", true, "/ca.pem"}, true, TrustVerdict::Matches},
        {{kOther, true, "/ca.pem"}, true, TrustVerdict::KeyChanged},  // a required key holds even with a CA
    };
    for (const auto& c : cases) {
        const PeerCheck check = checkPeerKey(c.policy, kKey, c.chainVerified, "");
        EXPECT_EQ(check.verdict, c.verdict) << c.policy.expectedKey << " " << c.policy.caFile;
        EXPECT_EQ(check.fingerprint, kKey);
        EXPECT_EQ(check.expected, c.policy.expectedKey);
    }
}

}  // namespace
}  // namespace pellandor
