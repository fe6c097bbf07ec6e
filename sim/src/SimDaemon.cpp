#include "sim/SimDaemon.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace u2csim {
namespace {

constexpr auto kStep = std::chrono::milliseconds(10);
constexpr int kSteps = 300; // 3 s at most, for the start and for the stop

bool IsSocket(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

} // namespace

SimDaemon::SimDaemon(const std::string& program, const std::vector<std::string>& extraArgs) {
    std::string base = std::filesystem::temp_directory_path() / "u2c-sim-XXXXXX";
    if (!::mkdtemp(base.data()))
        return;
    dir_ = base;
    socket_ = dir_ + "/board.sock";
    log_ = dir_ + "/transfers.log";
    std::vector<std::string> args = {program, "--socket", socket_, "--log", log_};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    if (::posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        pid_ = -1;
        return;
    }
    for (int i = 0; i < kSteps && !ready_; ++i) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) { // it gave up
            pid_ = -1;
            return;
        }
        ready_ = IsSocket(socket_);
        if (!ready_)
            std::this_thread::sleep_for(kStep);
    }
}

int SimDaemon::stop() {
    if (pid_ < 0)
        return -1;
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < kSteps; ++i) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(kStep);
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
    return -1;
}

SimDaemon::~SimDaemon() {
    stop();
    if (!dir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
}

} // namespace u2csim
