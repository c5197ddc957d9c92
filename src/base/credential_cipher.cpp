#include "base/credential_cipher.h"

#include <algorithm>
#include <bit>
#include <optional>
#include <vector>

namespace pellandor {

namespace {

constexpr std::size_t kBlockBytes = 16;
constexpr std::uint32_t kP32 = 0xB7E15163;
constexpr std::uint32_t kQ32 = 0x9E3779B9;
constexpr int kLgW = 5;  // log2 of the 32-bit word size

std::uint32_t rotl(std::uint32_t x, std::uint32_t n) {
    return std::rotl(x, static_cast<int>(n & 31));
}

std::uint32_t rotr(std::uint32_t x, std::uint32_t n) {
    return std::rotr(x, static_cast<int>(n & 31));
}

// The stored format reads block words most significant byte first, unlike
// published RC6.
std::uint32_t loadBigEndian(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]};
}

void storeBigEndian(std::uint32_t w, std::uint8_t* p) {
    p[0] = static_cast<std::uint8_t>(w >> 24);
    p[1] = static_cast<std::uint8_t>(w >> 16);
    p[2] = static_cast<std::uint8_t>(w >> 8);
    p[3] = static_cast<std::uint8_t>(w);
}

std::optional<std::uint8_t> hexValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<std::uint8_t>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<std::uint8_t>(c - 'a' + 10);
    return std::nullopt;
}

template <std::size_t N>
void encryptBlock(const std::array<std::uint32_t, N>& s, std::uint8_t* block) {
    constexpr int r = static_cast<int>(N / 2 - 2);
    std::uint32_t a = loadBigEndian(block);
    std::uint32_t b = loadBigEndian(block + 4);
    std::uint32_t c = loadBigEndian(block + 8);
    std::uint32_t d = loadBigEndian(block + 12);
    b += s[0];
    d += s[1];
    for (int i = 1; i <= r; ++i) {
        const std::uint32_t t = rotl(b * (2 * b + 1), kLgW);
        const std::uint32_t u = rotl(d * (2 * d + 1), kLgW);
        a = rotl(a ^ t, u) + s[2 * i];
        c = rotl(c ^ u, t) + s[2 * i + 1];
        const std::uint32_t oldA = a;
        a = b;
        b = c;
        c = d;
        d = oldA;
    }
    a += s[2 * r + 2];
    c += s[2 * r + 3];
    storeBigEndian(a, block);
    storeBigEndian(b, block + 4);
    storeBigEndian(c, block + 8);
    storeBigEndian(d, block + 12);
}

template <std::size_t N>
void decryptBlock(const std::array<std::uint32_t, N>& s, std::uint8_t* block) {
    constexpr int r = static_cast<int>(N / 2 - 2);
    std::uint32_t a = loadBigEndian(block);
    std::uint32_t b = loadBigEndian(block + 4);
    std::uint32_t c = loadBigEndian(block + 8);
    std::uint32_t d = loadBigEndian(block + 12);
    c -= s[2 * r + 3];
    a -= s[2 * r + 2];
    for (int i = r; i >= 1; --i) {
        const std::uint32_t oldD = d;
        d = c;
        c = b;
        b = a;
        a = oldD;
        const std::uint32_t u = rotl(d * (2 * d + 1), kLgW);
        const std::uint32_t t = rotl(b * (2 * b + 1), kLgW);
        c = rotr(c - s[2 * i + 1], t) ^ u;
        a = rotr(a - s[2 * i], u) ^ t;
    }
    d -= s[1];
    b -= s[0];
    storeBigEndian(a, block);
    storeBigEndian(b, block + 4);
    storeBigEndian(c, block + 8);
    storeBigEndian(d, block + 12);
}

}  // namespace

CredentialCipher::CredentialCipher(std::uint32_t key) {
    // Part of the stored format: this mixes the key's bytes, it is not a byte swap.
    std::uint32_t l = (((key & 0x1000u) | (key >> 16)) >> 8) | (((key << 16) | (key & 1u)) << 8);

    S_[0] = kP32;
    for (std::size_t i = 1; i < S_.size(); ++i) S_[i] = S_[i - 1] + kQ32;

    // One key word, so L alone is mixed in: 3 * 36 iterations.
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    std::size_t i = 0;
    for (std::size_t step = 0; step < 3 * S_.size(); ++step) {
        a = S_[i] = rotl(S_[i] + a + b, 3);
        b = l = rotl(l + a + b, a + b);
        i = (i + 1) % S_.size();
    }
}

bool CredentialCipher::encodeCredential(std::string_view text, std::string& hexOut, std::size_t capacity) const {
    // The stored text is a C string: nothing after a NUL can be part of it.
    text = text.substr(0, text.find('\0'));

    const std::size_t padded = (text.size() + kBlockBytes - 1) / kBlockBytes * kBlockBytes;
    if (!(2 * padded < capacity)) return false;

    std::vector<std::uint8_t> data(padded, 0);
    std::copy(text.begin(), text.end(), data.begin());
    // Stored values were written with the decryption direction.
    for (std::size_t off = 0; off < padded; off += kBlockBytes) decryptBlock(S_, data.data() + off);

    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(2 * padded);
    for (std::uint8_t byte : data) {
        hex.push_back(kDigits[byte >> 4]);
        hex.push_back(kDigits[byte & 0x0F]);
    }
    hexOut = std::move(hex);
    return true;
}

bool CredentialCipher::decodeCredential(std::string_view hex, std::string& out, std::size_t capacity) const {
    const std::size_t n = hex.size();
    if (n == 0 || n % (2 * kBlockBytes) != 0) return false;

    std::vector<std::uint8_t> data(n / 2);
    for (std::size_t i = 0; i < data.size(); ++i) {
        const auto high = hexValue(hex[2 * i]);
        const auto low = hexValue(hex[2 * i + 1]);
        if (!high || !low) return false;
        data[i] = static_cast<std::uint8_t>((*high << 4) | *low);
    }
    for (std::size_t off = 0; off < data.size(); off += kBlockBytes) encryptBlock(S_, data.data() + off);

    std::size_t length = 0;
    while (length < data.size() && data[length] != 0) ++length;

    if (length + 1 <= capacity) {
        out.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(length));
    } else {
        out.clear();
    }
    return true;
}

}  // namespace pellandor
