#include "desktop_logic/instance_channel.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "base/unique_fd.h"

namespace pellandor {

namespace {

std::string userTag() {
    return std::to_string(::getuid());
}

bool isPrivateFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 0022) == 0;
}

int remainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// A non-blocking socket whose connect to `socketPath` has begun: connected,
// or still in progress (`inProgress`). Closed when nobody listens there.
UniqueFd startConnect(const std::string& socketPath, bool& inProgress) {
    inProgress = false;
    const std::optional<sockaddr_un> addr = instanceSocketAddress(socketPath);
    if (!addr) return {};
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.isOpen()) return {};
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&*addr), sizeof(*addr)) != 0) {
        // A full backlog is still a live listener.
        if (errno != EAGAIN && errno != EINPROGRESS) return {};
        inProgress = true;
    }
    return fd;
}

}  // namespace

std::optional<sockaddr_un> instanceSocketAddress(const std::string& socketPath) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof(addr.sun_path)) return std::nullopt;
    std::memcpy(addr.sun_path, socketPath.c_str(), socketPath.size() + 1);
    return addr;
}

Result<std::string> instanceRuntimeDir() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/' && isPrivateFolder(runtime)) return std::string(runtime);

    const std::string fallback = "/tmp/pellandor-" + userTag();
    struct stat st {};
    // Not there yet: nobody listens in it, and the program that will makes it.
    if (::lstat(fallback.c_str(), &st) != 0 && errno == ENOENT) return fallback;
    if (!isPrivateFolder(fallback)) return failure(fallback + " is not a private folder of this user");
    return fallback;
}

Status makeInstanceRuntimeDir(const std::string& dir) {
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return failure("cannot create " + dir + ": " + std::strerror(errno));
    if (!isPrivateFolder(dir)) return failure(dir + " is not a private folder of this user");
    return {};
}

std::string instanceLockPath(const std::string& dir) {
    return dir + "/pellandor-" + userTag() + ".lock";
}

std::string instanceSocketPath(const std::string& dir) {
    return dir + "/pellandor-" + userTag() + ".socket";
}

bool isInstanceListening(const std::string& socketPath) {
    bool inProgress = false;
    return startConnect(socketPath, inProgress).isOpen();
}

InstanceSend sendToRunningInstance(const std::string& socketPath, const std::string& line, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool inProgress = false;
    const UniqueFd fd = startConnect(socketPath, inProgress);
    if (!fd.isOpen()) return InstanceSend::NoListener;
    if (inProgress) {
        pollfd p{fd.get(), POLLOUT, 0};
        if (::poll(&p, 1, remainingMs(deadline)) <= 0) return InstanceSend::NoAnswer;
        int soError = 0;
        socklen_t len = sizeof(soError);
        ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &soError, &len);
        if (soError != 0) return InstanceSend::NoListener;
    }

    const std::string message = line + "\n";
    std::size_t sent = 0;
    while (sent < message.size()) {
        const ssize_t n = ::send(fd.get(), message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p{fd.get(), POLLOUT, 0};
            if (::poll(&p, 1, remainingMs(deadline)) <= 0) return InstanceSend::NoAnswer;
            continue;
        }
        return InstanceSend::NoAnswer;
    }

    std::string answer;
    char buffer[16];
    while (answer.find('\n') == std::string::npos && answer.size() < 64) {
        pollfd p{fd.get(), POLLIN, 0};
        const int ready = ::poll(&p, 1, remainingMs(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return InstanceSend::NoAnswer;
        const ssize_t n = ::recv(fd.get(), buffer, sizeof(buffer), 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) break;
        answer.append(buffer, static_cast<std::size_t>(n));
    }
    return answer.rfind("ok\n", 0) == 0 ? InstanceSend::Delivered : InstanceSend::NoAnswer;
}

}  // namespace pellandor
