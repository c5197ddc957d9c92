#pragma once
// Runs the exchange simulator for one test: started on a port the system
// picks, stopped by its PID when the object goes.

#include <sys/types.h>

#include <string>
#include <vector>

namespace pellandor::test {

class ExchangeSim {
public:
    ExchangeSim() = default;
    ~ExchangeSim() { Stop(); }
    ExchangeSim(const ExchangeSim&) = delete;
    ExchangeSim& operator=(const ExchangeSim&) = delete;

    // Extra arguments after "--port 0"; true once the simulator is listening.
    bool Start(const std::vector<std::string>& args, std::string& error);
    void Stop();

    const std::string& Port() const { return port_; }

private:
    pid_t pid_ = -1;
    int stdout_ = -1;
    std::string port_;
};

// A loopback port that was bound and released again, so nothing listens on it.
std::string UnusedPort();

// A loopback listener that never accepts: the kernel completes TCP, then
// nobody speaks TLS. With its queue filled, further connects go unanswered.
class MuteListener {
public:
    explicit MuteListener(int backlog);
    ~MuteListener();
    MuteListener(const MuteListener&) = delete;
    MuteListener& operator=(const MuteListener&) = delete;

    void FillBacklog();
    const std::string& Port() const { return port_; }

private:
    int fd_ = -1;
    std::string port_;
    std::vector<int> fillers_;
};

}  // namespace pellandor::test
