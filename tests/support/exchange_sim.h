#pragma once
// Runs the exchange simulator for one test: started on a port the system
// picks, stopped by its PID when the object goes.

#include <sys/types.h>

#include <string>
#include <thread>
#include <vector>

namespace pellandor::test {

class ExchangeSim {
public:
    ExchangeSim() = default;
    ~ExchangeSim() { stop(); }
    ExchangeSim(const ExchangeSim&) = delete;
    ExchangeSim& operator=(const ExchangeSim&) = delete;

    // Extra arguments after "--port 0"; true once the simulator is listening.
    bool start(const std::vector<std::string>& args, std::string& error);
    void stop();

    const std::string& port() const { return port_; }

private:
    pid_t pid_ = -1;
    int stdout_ = -1;
    std::string port_;
};

// A loopback port that was bound and released again, so nothing listens on it.
std::string unusedPort();

// A loopback listener that never accepts: the kernel completes TCP, then
// nobody speaks TLS.
class MuteListener {
public:
    MuteListener();
    ~MuteListener();
    MuteListener(const MuteListener&) = delete;
    MuteListener& operator=(const MuteListener&) = delete;

    const std::string& port() const { return port_; }

private:
    int fd_ = -1;
    std::string port_;
};

// One loopback address in front of several exchanges: the n-th connection
// goes to the n-th port, bytes copied both ways; later ones are not accepted.
class Forwarder {
public:
    explicit Forwarder(std::vector<std::string> targetPorts);
    ~Forwarder();
    Forwarder(const Forwarder&) = delete;
    Forwarder& operator=(const Forwarder&) = delete;

    const std::string& port() const { return port_; }

private:
    void serve();

    int listen_ = -1;
    int stop_[2] = {-1, -1};
    std::string port_;
    std::vector<std::string> targets_;
    std::thread thread_;
};

}  // namespace pellandor::test
