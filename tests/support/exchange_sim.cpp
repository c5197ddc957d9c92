#include "support/exchange_sim.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace pellandor::test {

bool ExchangeSim::start(const std::vector<std::string>& args, std::string& error) {
    const std::string binary = std::string(PELLANDOR_BIN_DIR) + "/pellandor-exchange-sim";
    std::vector<std::string> argv{binary, "--port", "0"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error = "pipe failed";
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    const int rc = posix_spawn(&pid_, binary.c_str(), &actions, nullptr, cargv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    stdout_ = fds[0];
    if (rc != 0) {
        pid_ = -1;
        error = "cannot start " + binary;
        return false;
    }

    // First line: "listening on ADDR:PORT". Key generation can take a while.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (line.find('\n') == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        pollfd p{stdout_, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) {
            error = "no 'listening on' line from the simulator: " + line;
            return false;
        }
        char buffer[256];
        const ssize_t n = read(stdout_, buffer, sizeof buffer);
        if (n <= 0) {
            error = "the simulator ended early: " + line;
            return false;
        }
        line.append(buffer, static_cast<std::size_t>(n));
    }
    line.resize(line.find('\n'));
    const auto colon = line.rfind(':');
    if (line.rfind("listening on ", 0) != 0 || colon == std::string::npos) {
        error = "unexpected first line: " + line;
        return false;
    }
    port_ = line.substr(colon + 1);
    return true;
}

void ExchangeSim::stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        bool gone = false;
        for (int i = 0; i < 100 && !gone; ++i) {
            gone = waitpid(pid_, &status, WNOHANG) == pid_;
            if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (!gone) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
    }
    if (stdout_ >= 0) {
        close(stdout_);
        stdout_ = -1;
    }
}

std::string unusedPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return std::to_string(ntohs(address.sin_port));
}

MuteListener::MuteListener() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd_, reinterpret_cast<sockaddr*>(&address), length);
    listen(fd_, 16);
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = std::to_string(ntohs(address.sin_port));
}

MuteListener::~MuteListener() {
    close(fd_);
}

namespace {

int connectLoopback(const std::string& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(std::stoi(port)));
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

Forwarder::Forwarder(std::vector<std::string> targetPorts) : targets_(std::move(targetPorts)) {
    listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(listen_, reinterpret_cast<sockaddr*>(&address), length);
    listen(listen_, 16);
    getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = std::to_string(ntohs(address.sin_port));
    if (pipe2(stop_, O_CLOEXEC) != 0) stop_[0] = stop_[1] = -1;
    thread_ = std::thread([this] { serve(); });
}

Forwarder::~Forwarder() {
    close(stop_[1]);
    thread_.join();
    close(stop_[0]);
    close(listen_);
}

void Forwarder::serve() {
    for (const std::string& target : targets_) {
        pollfd waiting[2] = {{listen_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
        if (poll(waiting, 2, -1) <= 0 || waiting[1].revents != 0) return;
        const int client = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        const int server = connectLoopback(target);
        // Bytes both ways until either side closes.
        pollfd fds[3] = {{client, POLLIN, 0}, {server, POLLIN, 0}, {stop_[0], POLLIN, 0}};
        bool open = client >= 0 && server >= 0;
        while (open && poll(fds, 3, -1) > 0) {
            if (fds[2].revents != 0) {
                open = false;
                break;
            }
            for (int i = 0; i < 2 && open; ++i) {
                if (fds[i].revents == 0) continue;
                char buffer[16384];
                const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
                open = n > 0 && write(fds[1 - i].fd, buffer, static_cast<std::size_t>(n)) == n;
            }
        }
        if (client >= 0) close(client);
        if (server >= 0) close(server);
        if (fds[2].revents != 0) return;
    }
}

}  // namespace pellandor::test
