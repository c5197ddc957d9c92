#include "service/peer_trust.h"

namespace pellandor {

namespace {

constexpr std::size_t kDigestBytes = 32;

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string formatKeyFingerprint(const unsigned char* digest, std::size_t length) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(length * 3);
    for (std::size_t i = 0; i < length; ++i) {
        if (i != 0) text += ':';
        text += kDigits[digest[i] >> 4];
        text += kDigits[digest[i] & 0x0F];
    }
    return text;
}

bool normalizeKeyFingerprint(std::string_view text, std::string& fingerprint) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    for (std::string_view prefix : {"SHA256:", "sha256:", "SHA-256:", "sha-256:"}) {
        if (text.starts_with(prefix)) {
            text.remove_prefix(prefix.size());
            break;
        }
    }
    unsigned char digest[kDigestBytes];
    std::size_t count = 0;
    int high = -1;
    for (char c : text) {
        if (c == ':' || c == ' ') {
            if (high >= 0) return false;  // a separator inside a pair
            continue;
        }
        const int value = hexValue(c);
        if (value < 0) return false;
        if (high < 0) {
            high = value;
            continue;
        }
        if (count == kDigestBytes) return false;
        digest[count++] = static_cast<unsigned char>(high << 4 | value);
        high = -1;
    }
    if (high >= 0 || count != kDigestBytes) return false;
    fingerprint = formatKeyFingerprint(digest, count);
    return true;
}

PeerCheck checkPeerKey(const TrustPolicy& policy, const std::string& fingerprint, bool chainVerified,
                       const std::string& chainError) {
    PeerCheck check;
    check.fingerprint = fingerprint;
    check.expected = policy.expectedKey;
    check.provisioned = policy.provisioned;
    if (!policy.caFile.empty() && !chainVerified) {
        check.verdict = TrustVerdict::ChainRejected;
        check.detail = chainError.empty() ? "the certificate could not be verified" : chainError;
        return check;
    }
    if (policy.expectedKey.empty()) {
        // A verified chain is trusted as it is; first use keeps the key otherwise.
        check.verdict = policy.caFile.empty() ? TrustVerdict::FirstUse : TrustVerdict::Matches;
        return check;
    }
    check.verdict = fingerprint == policy.expectedKey ? TrustVerdict::Matches : TrustVerdict::KeyChanged;
    return check;
}

}  // namespace pellandor
