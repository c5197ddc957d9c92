#pragma once
// What both TLS backends share: the operations their error texts start with
// and the handshake's bounds.

#include <chrono>

#include "service/net_util.h"

namespace pellandor {

inline constexpr const char* kTlsInitClient = "TLS init";
inline constexpr const char* kTlsConnect = "TLS connect";
inline constexpr const char* kTlsHandshake = "TLS handshake";
inline constexpr const char* kTlsRead = "TLS read";
inline constexpr const char* kTlsWrite = "TLS write";

// A single wait for the handshake never exceeds this, however long the
// caller's limit is.
inline constexpr int kHandshakeWaitCapMs = 60000;

inline SteadyClock::time_point deadlineAfter(int timeoutMs) {
    return timeoutMs < 0 ? SteadyClock::time_point::max() : SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
}

}  // namespace pellandor
