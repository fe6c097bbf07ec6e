// Starts the daemon u2c-sim as a separate process for whole-system tests:
// a temporary folder holds its socket and transfer log; the start waits a
// bounded time for the socket; the end stops the daemon with SIGTERM.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace u2csim {

class SimDaemon {
public:
    SimDaemon(const std::string& program, const std::vector<std::string>& extraArgs = {});
    ~SimDaemon();
    SimDaemon(const SimDaemon&) = delete;
    SimDaemon& operator=(const SimDaemon&) = delete;

    // True when the socket appeared in time.
    bool ready() const { return ready_; }
    const std::string& socketPath() const { return socket_; }
    const std::string& logPath() const { return log_; }
    // Sends SIGTERM and waits (bounded) for the exit; returns the exit
    // status, or -1 when the daemon had to be killed.
    int stop();

private:
    std::string dir_;
    std::string socket_;
    std::string log_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

} // namespace u2csim
