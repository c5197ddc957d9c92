#pragma once
// The exchange request's network calls: TCP sockets, a wake-up signal every
// wait also watches (so a request's owner can stop all waits at once), the
// resolver, and the waits and transfers built on them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace pellandor {

// The system's socket: a descriptor on POSIX, a SOCKET on Windows (which is
// no int); kNoSocket is -1 and INVALID_SOCKET alike.
using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kNoSocket = -1;

// Owner of a socket: closed exactly once.
class Socket final {
public:
    Socket() = default;
    explicit Socket(SocketHandle handle) : handle_(handle) {}
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket() { reset(); }

    SocketHandle get() const { return handle_; }
    bool isOpen() const { return handle_ != kNoSocket; }
    void reset(SocketHandle handle = kNoSocket);

private:
    SocketHandle handle_ = kNoSocket;
};

// A flag that, once set, wakes every wait watching it (from any thread).
class WakeSignal final {
public:
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    bool isValid() const { return handle_ != kNone; }
    void set();

    // For the backend's waits: an eventfd, or a Windows event handle.
    std::intptr_t nativeHandle() const { return handle_; }

private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t handle_ = kNone;
};

enum class WaitResult { Ready, TimedOut, Cancelled, Failed };
enum class Readiness { Read, Write };

// Until `socket` is ready for `what` (an error on it counts as ready: the
// next call tells), `cancel` is set (may be null) or `timeoutMs` passes
// (< 0: no limit). Interrupted waits go on.
WaitResult waitForSocket(SocketHandle socket, Readiness what, const WakeSignal* cancel, int timeoutMs);
// The same for a signal instead of a socket.
WaitResult waitForSignal(const WakeSignal& signal, const WakeSignal* cancel, int timeoutMs);

// The error number of the last failed socket call (errno, WSAGetLastError).
int lastSocketError();

// An IPv4 or IPv6 address and port to connect to, as the system holds it.
struct SocketAddress {
    alignas(8) std::array<unsigned char, 128> bytes{};
    int length = 0;
    bool ipv6 = false;
};

// A literal IPv4 or IPv6 address (no resolver needed).
bool isNumericHost(const std::string& host);

// getaddrinfo for a TCP connection; 0 or the resolver's error code. With
// `numericOnly` no resolver is asked. `found` tells whether the answer held
// an IPv4 or IPv6 address; the first one is in `address`.
int resolveAddress(const std::string& host, const std::string& port, bool numericOnly, SocketAddress& address,
                   bool& found);
// The resolver's text for `code`, on one line and at most 1023 bytes.
std::string resolverMessage(int code);
// The resolver code for "a system error" (EAI_SYSTEM where there is one).
int resolverSystemError();

// The local host's numeric address of that family (for the request's
// header): "N/A" without a host name, empty when it has no such address.
std::string localHostAddress(bool ipv6);

// A TCP socket, not inherited by child processes; kNoSocket on failure
// (lastSocketError tells why).
Socket openTcpSocket(bool ipv6);
// Small writes go out at once instead of waiting on Nagle's algorithm.
void setNoDelay(SocketHandle socket);
bool setNonBlocking(SocketHandle socket);

enum class ConnectStart { Connected, InProgress, Failed };
// A connect on a non-blocking socket; once writable after InProgress,
// pendingConnectError tells how it ended (0: connected).
ConnectStart startConnect(SocketHandle socket, const SocketAddress& address);
int pendingConnectError(SocketHandle socket);

// One send or receive on a non-blocking socket: bytes moved (> 0), 0 when
// the peer closed (receive), kWouldBlock, or kTransferFailed (see
// lastSocketError).
inline constexpr long kWouldBlock = -1;
inline constexpr long kTransferFailed = -2;
long sendSome(SocketHandle socket, const char* bytes, std::size_t length);
long receiveSome(SocketHandle socket, char* buffer, std::size_t length);

// A write to a connection the peer reset fails instead of ending the
// process; called once by each thread that writes to sockets.
void ignoreBrokenPipeOnThisThread();

}  // namespace pellandor
