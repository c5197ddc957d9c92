#include "platform/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <utility>

namespace pellandor {

namespace {

using Clock = std::chrono::steady_clock;

struct AddrInfoFree {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};
using AddrInfoList = std::unique_ptr<addrinfo, AddrInfoFree>;

int msLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 0x7fffffff));
}

// poll on `fd` and the cancel signal's eventfd.
WaitResult waitFor(int fd, short events, const WakeSignal* cancel, int timeoutMs) {
    const int cancelFd = cancel != nullptr ? static_cast<int>(cancel->nativeHandle()) : -1;
    pollfd fds[2] = {{fd, events, 0}, {cancelFd, POLLIN, 0}};
    const nfds_t count = cancelFd >= 0 ? 2 : 1;
    const Clock::time_point deadline =
        timeoutMs < 0 ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const int n = ::poll(fds, count, timeoutMs < 0 ? -1 : msLeft(deadline));
        if (n < 0) {
            if (errno == EINTR) continue;
            return WaitResult::Failed;
        }
        if (n == 0) return WaitResult::TimedOut;
        if (count == 2 && fds[1].revents != 0) return WaitResult::Cancelled;
        return WaitResult::Ready;
    }
}

addrinfo streamHints(int flags) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = flags;
    return hints;
}

}  // namespace

Socket::Socket(Socket&& other) noexcept : handle_(std::exchange(other.handle_, kNoSocket)) {
}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) reset(std::exchange(other.handle_, kNoSocket));
    return *this;
}

void Socket::reset(SocketHandle handle) {
    if (handle_ != kNoSocket) ::close(static_cast<int>(handle_));
    handle_ = handle;
}

WakeSignal::WakeSignal() : handle_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
}

WakeSignal::~WakeSignal() {
    if (handle_ != kNone) ::close(static_cast<int>(handle_));
}

void WakeSignal::set() {
    if (handle_ == kNone) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(static_cast<int>(handle_), &one, sizeof one);
}

WaitResult waitForSocket(SocketHandle socket, Readiness what, const WakeSignal* cancel, int timeoutMs) {
    return waitFor(static_cast<int>(socket), what == Readiness::Read ? POLLIN : POLLOUT, cancel, timeoutMs);
}

WaitResult waitForSignal(const WakeSignal& signal, const WakeSignal* cancel, int timeoutMs) {
    return waitFor(static_cast<int>(signal.nativeHandle()), POLLIN, cancel, timeoutMs);
}

int lastSocketError() {
    return errno;
}

bool isNumericHost(const std::string& host) {
    in6_addr v6{};
    in_addr v4{};
    return ::inet_pton(AF_INET, host.c_str(), &v4) == 1 || ::inet_pton(AF_INET6, host.c_str(), &v6) == 1;
}

int resolveAddress(const std::string& host, const std::string& port, bool numericOnly, SocketAddress& address,
                   bool& found) {
    found = false;
    const addrinfo hints = streamHints(numericOnly ? AI_NUMERICHOST : 0);
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
    std::string text = gai_strerror(code);
    std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
    if (text.size() > 1023) text.resize(1023);
    return text;
}

int resolverSystemError() {
    return EAI_SYSTEM;
}

std::string localHostAddress(bool ipv6) {
    std::array<char, 80> name{};
    if (gethostname(name.data(), name.size() - 1) != 0) return "N/A";
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
        if (getnameinfo(ai->ai_addr, ai->ai_addrlen, text.data(), text.size(), nullptr, 0, NI_NUMERICHOST) == 0) {
            return text.data();
        }
        return {};
    }
    return {};
}

Socket openTcpSocket(bool ipv6) {
    return Socket(::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
}

void setNoDelay(SocketHandle socket) {
    const int on = 1;
    ::setsockopt(static_cast<int>(socket), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

bool setNonBlocking(SocketHandle socket) {
    const int fd = static_cast<int>(socket);
    const int flags = fcntl(fd, F_GETFL, 0);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) >= 0;
}

ConnectStart startConnect(SocketHandle socket, const SocketAddress& address) {
    if (::connect(static_cast<int>(socket), reinterpret_cast<const sockaddr*>(address.bytes.data()),
                  static_cast<socklen_t>(address.length)) == 0) {
        return ConnectStart::Connected;
    }
    return errno == EINPROGRESS || errno == EINTR ? ConnectStart::InProgress : ConnectStart::Failed;
}

int pendingConnectError(SocketHandle socket) {
    int soError = 0;
    socklen_t soLength = sizeof soError;
    if (getsockopt(static_cast<int>(socket), SOL_SOCKET, SO_ERROR, &soError, &soLength) != 0) soError = errno;
    return soError;
}

long sendSome(SocketHandle socket, const char* bytes, std::size_t length) {
    for (;;) {
        const ssize_t n = ::send(static_cast<int>(socket), bytes, length, MSG_NOSIGNAL);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? kWouldBlock : kTransferFailed;
    }
}

long receiveSome(SocketHandle socket, char* buffer, std::size_t length) {
    for (;;) {
        const ssize_t n = ::recv(static_cast<int>(socket), buffer, length, 0);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? kWouldBlock : kTransferFailed;
    }
}

void ignoreBrokenPipeOnThisThread() {
    // The signal stays pending, blocked, on this thread.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
}

}  // namespace pellandor
