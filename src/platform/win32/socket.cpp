#include "platform/socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>

namespace pellandor {

namespace {

using Clock = std::chrono::steady_clock;

// Winsock is started once, by the first call that needs it, and stays up.
void ensureWinsock() {
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data{};
        WSAStartup(MAKEWORD(2, 2), &data);
    });
}

SOCKET native(SocketHandle handle) {
    return static_cast<SOCKET>(handle);
}

struct AddrInfoFree {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};
using AddrInfoList = std::unique_ptr<addrinfo, AddrInfoFree>;

// The signal is a UDP socket on loopback connected to itself: set() sends it
// one datagram, after which select() sees it readable, beside any socket,
// until it is destroyed. An event object could not be waited on together
// with a socket's readiness without WSAEventSelect, whose write event only
// fires on edges.
SOCKET makeSelfConnectedSocket() {
    ensureWinsock();
    SOCKET s = WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) return INVALID_SOCKET;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    u_long nonBlocking = 1;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        connect(s, reinterpret_cast<sockaddr*>(&address), length) != 0 || ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

// select() on `socket` (for `what`) and on the signals' sockets.
WaitResult waitFor(SOCKET socket, Readiness what, SOCKET signal, SOCKET cancel, int timeoutMs) {
    const Clock::time_point deadline =
        timeoutMs < 0 ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        fd_set readable;
        fd_set writable;
        fd_set failed;
        FD_ZERO(&readable);
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        if (socket != INVALID_SOCKET) {
            if (what == Readiness::Read) {
                FD_SET(socket, &readable);
            } else {
                FD_SET(socket, &writable);
                FD_SET(socket, &failed);  // where a refused connect shows
            }
        }
        if (signal != INVALID_SOCKET) FD_SET(signal, &readable);
        if (cancel != INVALID_SOCKET) FD_SET(cancel, &readable);
        timeval limit{};
        timeval* wait = nullptr;
        if (timeoutMs >= 0) {
            const long long left = std::max<long long>(
                0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
            limit.tv_sec = static_cast<long>(left / 1000);
            limit.tv_usec = static_cast<long>((left % 1000) * 1000);
            wait = &limit;
        }
        const int n = select(0, &readable, &writable, &failed, wait);
        if (n == SOCKET_ERROR) {
            if (WSAGetLastError() == WSAEINTR) continue;
            return WaitResult::Failed;
        }
        if (n == 0) return WaitResult::TimedOut;
        if (cancel != INVALID_SOCKET && FD_ISSET(cancel, &readable)) return WaitResult::Cancelled;
        return WaitResult::Ready;
    }
}

SOCKET cancelSocket(const WakeSignal* cancel) {
    return cancel != nullptr && cancel->isValid() ? static_cast<SOCKET>(cancel->nativeHandle()) : INVALID_SOCKET;
}

}  // namespace

Socket::Socket(Socket&& other) noexcept : handle_(std::exchange(other.handle_, kNoSocket)) {
}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) reset(std::exchange(other.handle_, kNoSocket));
    return *this;
}

void Socket::reset(SocketHandle handle) {
    if (handle_ != kNoSocket) closesocket(native(handle_));
    handle_ = handle;
}

WakeSignal::WakeSignal() {
    const SOCKET s = makeSelfConnectedSocket();
    if (s != INVALID_SOCKET) handle_ = static_cast<std::intptr_t>(s);
}

WakeSignal::~WakeSignal() {
    if (handle_ != kNone) closesocket(static_cast<SOCKET>(handle_));
}

void WakeSignal::set() {
    if (handle_ == kNone) return;
    const char byte = 1;
    send(static_cast<SOCKET>(handle_), &byte, 1, 0);
}

WaitResult waitForSocket(SocketHandle socket, Readiness what, const WakeSignal* cancel, int timeoutMs) {
    return waitFor(native(socket), what, INVALID_SOCKET, cancelSocket(cancel), timeoutMs);
}

WaitResult waitForSignal(const WakeSignal& signal, const WakeSignal* cancel, int timeoutMs) {
    if (!signal.isValid()) return WaitResult::Failed;
    return waitFor(INVALID_SOCKET, Readiness::Read, static_cast<SOCKET>(signal.nativeHandle()), cancelSocket(cancel),
                   timeoutMs);
}

int lastSocketError() {
    return WSAGetLastError();
}

bool isNumericHost(const std::string& host) {
    ensureWinsock();
    in6_addr v6{};
    in_addr v4{};
    return inet_pton(AF_INET, host.c_str(), &v4) == 1 || inet_pton(AF_INET6, host.c_str(), &v6) == 1;
}

int resolveAddress(const std::string& host, const std::string& port, bool numericOnly, SocketAddress& address,
                   bool& found) {
    ensureWinsock();
    found = false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = numericOnly ? AI_NUMERICHOST : 0;
    addrinfo* first = nullptr;
    const int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &first);
    const AddrInfoList list(first);
    if (rc != 0) return rc;
    for (const addrinfo* ai = list.get(); ai != nullptr; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET && ai->ai_family != AF_INET6) continue;
        if (ai->ai_addrlen > address.bytes.size()) continue;
        address = SocketAddress{};
        std::memcpy(address.bytes.data(), ai->ai_addr, ai->ai_addrlen);
        address.length = static_cast<int>(ai->ai_addrlen);
        address.ipv6 = ai->ai_family == AF_INET6;
        found = true;
        break;
    }
    return 0;
}

std::string resolverMessage(int code) {
    std::string text = gai_strerrorA(code);
    std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
    while (!text.empty() && (text.back() == ' ' || text.back() == '.')) text.pop_back();
    if (text.size() > 1023) text.resize(1023);
    return text;
}

// Windows' resolver has no EAI_SYSTEM; this is its "non-recoverable failure".
int resolverSystemError() {
    return EAI_FAIL;
}

std::string localHostAddress(bool ipv6) {
    ensureWinsock();
    std::array<char, 80> name{};
    if (gethostname(name.data(), static_cast<int>(name.size() - 1)) != 0) return "N/A";
    name.back() = '\0';

    addrinfo hints{};
    hints.ai_flags = AI_CANONNAME;
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.data(), nullptr, &hints, &found) != 0) return {};
    const AddrInfoList list(found);

    const int family = ipv6 ? AF_INET6 : AF_INET;
    for (const addrinfo* ai = list.get(); ai != nullptr; ai = ai->ai_next) {
        if (ai->ai_family != family) continue;
        std::array<char, 200> text{};
        if (getnameinfo(ai->ai_addr, static_cast<socklen_t>(ai->ai_addrlen), text.data(),
                        static_cast<DWORD>(text.size()), nullptr, 0, NI_NUMERICHOST) == 0) {
            return text.data();
        }
        return {};
    }
    return {};
}

Socket openTcpSocket(bool ipv6) {
    ensureWinsock();
    const SOCKET s =
        WSASocketW(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    return Socket(s == INVALID_SOCKET ? kNoSocket : static_cast<SocketHandle>(s));
}

void setNoDelay(SocketHandle socket) {
    const BOOL on = TRUE;
    setsockopt(native(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

bool setNonBlocking(SocketHandle socket) {
    u_long on = 1;
    return ioctlsocket(native(socket), FIONBIO, &on) == 0;
}

ConnectStart startConnect(SocketHandle socket, const SocketAddress& address) {
    if (connect(native(socket), reinterpret_cast<const sockaddr*>(address.bytes.data()), address.length) == 0) {
        return ConnectStart::Connected;
    }
    const int error = WSAGetLastError();
    return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS || error == WSAEINTR ? ConnectStart::InProgress
                                                                                   : ConnectStart::Failed;
}

int pendingConnectError(SocketHandle socket) {
    int soError = 0;
    int soLength = sizeof soError;
    if (getsockopt(native(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &soLength) != 0) {
        soError = WSAGetLastError();
    }
    return soError;
}

long sendSome(SocketHandle socket, const char* bytes, std::size_t length) {
    const int chunk = static_cast<int>(std::min<std::size_t>(length, 1u << 30));
    const int n = send(native(socket), bytes, chunk, 0);
    if (n >= 0) return n;
    return WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : kTransferFailed;
}

long receiveSome(SocketHandle socket, char* buffer, std::size_t length) {
    const int chunk = static_cast<int>(std::min<std::size_t>(length, 1u << 30));
    const int n = recv(native(socket), buffer, chunk, 0);
    if (n >= 0) return n;
    return WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : kTransferFailed;
}

// Windows has no SIGPIPE: a write to a reset connection fails by itself.
void ignoreBrokenPipeOnThisThread() {
}

}  // namespace pellandor
