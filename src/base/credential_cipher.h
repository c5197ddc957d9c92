#pragma once
// The stored form of the exchange password: a 16-round RC6 variant with one
// 32-bit key word and big-endian block words, written as upper-case hex.
// Settings files already in use depend on every detail of this format.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pellandor {

inline constexpr std::uint32_t SettingsKey = 0x6D6B7A71;

class CredentialCipher final {
public:
    explicit CredentialCipher(std::uint32_t key);
    virtual ~CredentialCipher() = default;

    // Text (up to its first NUL, as stored) -> hex. Fails, leaving `hexOut`
    // untouched, unless the hex digits plus a terminator fit in `capacity`
    // bytes (the settings use 200).
    bool encodeCredential(std::string_view text, std::string& hexOut, std::size_t capacity) const;

    // hex -> text, up to the first zero byte. Fails on an empty, odd-length or
    // non-hex text, or a length that is not a whole number of blocks. A result
    // that would not fit in `capacity` bytes (with terminator) comes back empty.
    // On failure `out` is left untouched.
    bool decodeCredential(std::string_view hex, std::string& out, std::size_t capacity) const;

private:
    static constexpr int kRounds = 16;
    std::array<std::uint32_t, 2 * kRounds + 4> S_{};
};

}  // namespace pellandor
