#pragma once
// What both TLS backends share: the function names their error texts start
// with (the exchange's support staff know them) and the handshake's bounds.

#include <chrono>

#include "service/net_util.h"

namespace pellandor {

inline constexpr const char* kTlsInitClient = "COpenSSLInterface::InitClientSSL";
inline constexpr const char* kTlsConnect = "COpenSSLInterface::ConnectSSLClient";
inline constexpr const char* kTlsHandshake = "COpenSSLInterface::ConnectSSLClient_SSL";
inline constexpr const char* kTlsRead = "COpenSSLInterface::ReadSSLClient";
inline constexpr const char* kTlsWrite = "COpenSSLInterface::WriteSSLClient";

// A single wait for the handshake never exceeds this, however long the
// caller's limit is.
inline constexpr int kHandshakeWaitCapMs = 60000;

inline SteadyClock::time_point deadlineAfter(int timeoutMs) {
    return timeoutMs < 0 ? SteadyClock::time_point::max() : SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
}

}  // namespace pellandor
