// The parts of the TLS connection every backend shares: the TCP connect
// with its time limit, the waits, the error texts.
#include "service/tls_connection.h"

#include "service/tls_connection_common.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>

namespace pellandor {

void TlsConnection::setError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    errorText_.assign(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    if (n > 0) std::vsnprintf(errorText_.data(), errorText_.size() + 1, format, args);
    va_end(args);
}

WaitResult TlsConnection::waitFor(SocketHandle socket, Readiness what, int timeoutMs) const {
    return waitForSocket(socket, what, cancel_, timeoutMs);
}

bool TlsConnection::connect(SocketHandle socket, const SocketAddress& address, int timeoutMs) {
    if (address.length <= 0) return false;

    // Non-blocking, so an unreachable exchange cannot hold the request for minutes.
    if (!setNonBlocking(socket)) {
        setError("%s: connect fail error[%d]", kTlsConnect, lastSocketError());
        return false;
    }
    switch (startConnect(socket, address)) {
        case ConnectStart::Connected:
            break;
        case ConnectStart::Failed:
            setError("%s: connect fail error[%d]", kTlsConnect, lastSocketError());
            return false;
        case ConnectStart::InProgress: {
            switch (waitFor(socket, Readiness::Write, timeoutMs)) {
                case WaitResult::Ready:
                    break;
                case WaitResult::TimedOut:
                    setError("%s: connect fail error[%d] (no connection within %d ms, time-out)", kTlsConnect,
                             ETIMEDOUT, timeoutMs);
                    return false;
                case WaitResult::Cancelled:
                    setError("%s: connect fail error[%d] (cancelled)", kTlsConnect, ECANCELED);
                    return false;
                case WaitResult::Failed:
                    setError("%s: connect fail error[%d]", kTlsConnect, lastSocketError());
                    return false;
            }
            const int soError = pendingConnectError(socket);
            if (soError != 0) {
                setError("%s: connect fail error[%d]", kTlsConnect, soError);
                return false;
            }
            break;
        }
    }
    return handshake(socket, timeoutMs);
}

long TlsConnection::read(SocketHandle socket, char* buffer, std::size_t length, int timeoutMs) {
    if (buffer == nullptr) {
        setError("%s: no buffer", kTlsRead);
        return -1;
    }
    return transfer(kTlsRead, socket, buffer, nullptr, length, timeoutMs);
}

long TlsConnection::write(SocketHandle socket, const char* bytes, std::size_t length, int timeoutMs) {
    if (bytes == nullptr) {
        setError("%s: no data", kTlsWrite);
        return -1;
    }
    return transfer(kTlsWrite, socket, nullptr, bytes, length, timeoutMs);
}

}  // namespace pellandor
