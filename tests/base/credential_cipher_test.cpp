#include "base/credential_cipher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace pellandor {
namespace {

using namespace std::string_literals;

constexpr std::size_t kSettingsCapacity = 200;  // the settings file's buffer

bool isUpperHex(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

// `text` with the characters at `pos` replaced, same length.
std::string overwritten(std::string text, std::size_t pos, std::string_view with) {
    std::copy(with.begin(), with.end(), text.begin() + static_cast<std::ptrdiff_t>(pos));
    return text;
}

std::string encode(const CredentialCipher& cipher, std::string_view text, std::size_t capacity = kSettingsCapacity) {
    std::string hex = "untouched";
    EXPECT_TRUE(cipher.encodeCredential(text, hex, capacity)) << "text: [" << text << "]";
    return hex;
}

std::string decode(const CredentialCipher& cipher, std::string_view hex, std::size_t capacity = kSettingsCapacity) {
    std::string out = "untouched";
    EXPECT_TRUE(cipher.decodeCredential(hex, out, capacity)) << "hex: [" << hex << "]";
    return out;
}

// Stored values must never change. These were computed by an independent
// Python model of the format (its RC6 core checked against the published RC6
// vectors with r = 20 and little-endian words), not by this implementation.
struct GoldenCase {
    std::uint32_t key;
    std::string text;
    std::string hex;
};

TEST(CredentialCipher, GoldenVectors) {
    const GoldenCase cases[] = {
        {SettingsKey, "secret", "AFE205638F5CD445D701CE9D2060FB31"},
        {SettingsKey, "1234", "B22F3BD0FE8E4F94A995F537AFB4EE06"},
        {SettingsKey, "abcdefghijklmnop", "F255BFF852BC2FEFD0EA2931483C4332"},
        {SettingsKey, "abcdefghijklmnopq",
         "F255BFF852BC2FEFD0EA2931483C4332"
         "3789D2E99674C784119A9E2548C99A40"},
        {SettingsKey, "Pa55 word with spaces",
         "C1B23BB0BB823F7D745F5B040D328D25"
         "3262E6D2B10A2497C749A1E44DB74B6C"},
        {0x12345678, "secret", "D133D90BAE53FEEAD97981A2B25C1E62"},
    };
    for (const auto& c : cases) {
        const CredentialCipher cipher(c.key);
        EXPECT_EQ(encode(cipher, c.text), c.hex) << "text: [" << c.text << "]";
        EXPECT_EQ(decode(cipher, c.hex), c.text) << "hex: " << c.hex;
    }
}

TEST(CredentialCipher, RoundTrip) {
    const CredentialCipher cipher(SettingsKey);
    const std::string passwords[] = {
        "a",
        "pass word",
        " leading and trailing ",
        std::string(15, 'x'),
        std::string(16, 'y'),
        std::string(31, 'z'),
        std::string(96, 'w'),
        "\x01\x7F\x80\xFF\xC3\xA9",  // any non-zero byte survives
        "\t\r\n",
    };
    for (const auto& password : passwords) {
        const std::string hex = encode(cipher, password);
        EXPECT_TRUE(isUpperHex(hex)) << hex;
        EXPECT_EQ(decode(cipher, hex), password);
    }
}

TEST(CredentialCipher, LengthIsWholeBlocks) {
    const CredentialCipher cipher(SettingsKey);
    const std::pair<std::size_t, std::size_t> lengths[] = {
        {1, 32}, {15, 32}, {16, 32}, {17, 64}, {32, 64}, {33, 96}, {96, 192},
    };
    for (const auto& [textLength, hexLength] : lengths) {
        EXPECT_EQ(encode(cipher, std::string(textLength, 'p')).size(), hexLength) << textLength << " characters";
    }
}

TEST(CredentialCipher, LowerCaseHexDecodes) {
    const CredentialCipher cipher(SettingsKey);
    EXPECT_EQ(decode(cipher, "afe205638f5cd445d701ce9d2060fb31"), "secret");
    EXPECT_EQ(decode(cipher, "AfE205638f5CD445d701cE9D2060Fb31"), "secret");
}

TEST(CredentialCipher, SpacesKept) {
    const CredentialCipher cipher(SettingsKey);
    const std::string password = "  my secret  pass  ";
    EXPECT_EQ(decode(cipher, encode(cipher, password)), password);
}

TEST(CredentialCipher, OtherKeyDoesNotDecode) {
    const CredentialCipher mine(SettingsKey);
    const CredentialCipher other(SettingsKey ^ 0x00000001);
    const std::string hex = encode(mine, "secret");
    EXPECT_NE(encode(other, "secret"), hex);
    std::string out;
    other.decodeCredential(hex, out, kSettingsCapacity);
    EXPECT_NE(out, "secret");
}

TEST(CredentialCipher, KeyWordIgnoresMiddleBits) {
    // The key word mixes only the top byte, bit 12 and the low byte of the
    // key; a byte swap would use all of them.
    const std::string hex = encode(CredentialCipher(SettingsKey), "secret");
    EXPECT_EQ(encode(CredentialCipher(SettingsKey ^ 0x00FFEF00), "secret"), hex);
    for (std::uint32_t bit : {0x00000001u, 0x00000080u, 0x00001000u, 0x01000000u, 0x80000000u}) {
        EXPECT_NE(encode(CredentialCipher(SettingsKey ^ bit), "secret"), hex) << std::hex << bit;
    }
}

TEST(CredentialCipher, EncodeCapacity) {
    const CredentialCipher cipher(SettingsKey);
    std::string hex = "untouched";

    // 96 characters need 192 digits plus the terminator: they fit in 200.
    EXPECT_TRUE(cipher.encodeCredential(std::string(96, 'a'), hex, kSettingsCapacity));
    EXPECT_EQ(hex.size(), 192u);

    hex = "untouched";
    EXPECT_FALSE(cipher.encodeCredential(std::string(97, 'a'), hex, kSettingsCapacity));
    EXPECT_EQ(hex, "untouched");

    // The boundary is "2 * padded < capacity".
    EXPECT_TRUE(cipher.encodeCredential(std::string(16, 'a'), hex, 33));
    hex = "untouched";
    EXPECT_FALSE(cipher.encodeCredential(std::string(16, 'a'), hex, 32));
    EXPECT_EQ(hex, "untouched");
}

TEST(CredentialCipher, EncodeStopsAtNul) {
    // The stored text is a C string; what follows a NUL cannot be stored.
    const CredentialCipher cipher(SettingsKey);
    EXPECT_EQ(encode(cipher, "secret\0more"s), encode(cipher, "secret"));
}

TEST(CredentialCipher, EmptyTextEncodesToNoBlocks) {
    // Zero is already a multiple of 16, so no block is added.
    const CredentialCipher cipher(SettingsKey);
    EXPECT_EQ(encode(cipher, ""), "");
    std::string hex = "untouched";
    EXPECT_FALSE(cipher.encodeCredential("", hex, 0));
    EXPECT_EQ(hex, "untouched");
}

TEST(CredentialCipher, DecodeRejectsMalformedText) {
    const CredentialCipher cipher(SettingsKey);
    const std::string good = "AFE205638F5CD445D701CE9D2060FB31";
    const std::string bad[] = {
        "",
        good.substr(0, 31),         // odd
        good.substr(0, 30),         // even, not whole blocks
        good + good.substr(0, 16),  // 48 digits
        overwritten(good, 0, "G"),  // not hex
        overwritten(good, 0, " "),
        overwritten(good, 31, "\0"s),
        overwritten(good, 0, "0x"),
        overwritten(good, 20, "-1"),
        std::string(32, 'Z'),
    };
    for (const auto& hex : bad) {
        std::string out = "untouched";
        EXPECT_FALSE(cipher.decodeCredential(hex, out, kSettingsCapacity)) << "hex: [" << hex << "]";
        EXPECT_EQ(out, "untouched");
    }
}

TEST(CredentialCipher, DecodeCapacity) {
    const CredentialCipher cipher(SettingsKey);
    const std::string hex = "AFE205638F5CD445D701CE9D2060FB31";  // "secret"
    EXPECT_EQ(decode(cipher, hex, 7), "secret");
    // Too small for the text and its terminator: success, but empty.
    EXPECT_EQ(decode(cipher, hex, 6), "");
    EXPECT_EQ(decode(cipher, hex, 0), "");
}

TEST(CredentialCipher, DecodeEndsAtFirstZeroByte) {
    // The zero fill of the first block ends the text, even when a later
    // block holds more.
    const CredentialCipher cipher(SettingsKey);
    const std::string hex = encode(cipher, "abc") + encode(cipher, std::string(16, 'd'));
    EXPECT_EQ(decode(cipher, hex), "abc");
}

}  // namespace
}  // namespace pellandor
