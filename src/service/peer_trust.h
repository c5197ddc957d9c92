#pragma once
// Trust on first use for the exchange's key: what a request demands of the
// key it finds after the handshake, and what it found.

#include <cstddef>
#include <string>
#include <string_view>

namespace pellandor {

// What the exchange must show before a request byte is sent.
struct TrustPolicy {
    std::string expectedKey;   // fingerprint to match; empty: any key (first use)
    bool provisioned = false;  // expectedKey was given by an administrator, not kept from a call
    std::string caFile;        // PEM certificate authorities the chain must verify against; empty: none
};

enum class TrustVerdict {
    NotChecked,  // no handshake happened
    FirstUse,    // no key was expected; `fingerprint` is the one to keep
    Matches,
    KeyChanged,     // another key than `expected`: nothing was sent
    ChainRejected,  // the CA file's check failed: nothing was sent
};

struct PeerCheck {
    TrustVerdict verdict = TrustVerdict::NotChecked;
    std::string fingerprint;  // the key the exchange showed
    std::string expected;     // the key that was demanded
    bool provisioned = false;
    std::string detail;  // why the chain was rejected
};

// SHA-256 digest as colon-separated upper-case hex ("AB:CD:...", 95 characters).
std::string formatKeyFingerprint(const unsigned char* digest, std::size_t length);

// A fingerprint as a person may type or paste it: hex digits in any case,
// with or without colons or blanks between the pairs, optionally after
// "SHA256:". False unless it is 32 bytes.
bool normalizeKeyFingerprint(std::string_view text, std::string& fingerprint);

// Compares the key found against the policy.
PeerCheck checkPeerKey(const TrustPolicy& policy, const std::string& fingerprint, bool chainVerified,
                       const std::string& chainError);

}  // namespace pellandor
