// A temporary folder for one test, removed with everything in it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "testsupport/ScopedEnv.h"

class TempFolder {
public:
    TempFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && base[0] == '/' ? base : "/tmp") + "/kvfmXXXXXX";
        path = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path, ec);
    }
    std::string operator/(const std::string& leaf) const { return path + "/" + leaf; }

    static void Write(const std::string& file, const std::string& content) {
        std::ofstream(file, std::ios::binary) << content;
    }
    static std::string Read(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::string path;
};

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <future>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// Runs `fn` in a child process without root's rights (as "nobody" when the
// tests run as root), so permission checks apply. Answers 0 when fn
// answered true, 1 when false, 3 when the child cannot reach `folder`.
template <typename Fn>
int RunWithoutPrivileges(const std::string& folder, Fn fn) {
    const pid_t pid = fork();
    if (pid == 0) {
        alarm(30); // a child that hangs is ended
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(2);
        if (access(folder.c_str(), X_OK) != 0)
            _exit(3);
        _exit(fn() ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 4;
}

// Limits the size of files this process may write while it lives, so that
// writes fail part way (as on a full disk), also for root.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
    }

private:
    rlimit saved{};
    void (*previousHandler)(int) = nullptr;
};

// Runs `fn` on another thread and answers its result. When it has not
// returned within two seconds it is blocked on the named pipe `fifo`:
// `hung` becomes true and the pipe is opened from this side until the
// call comes back, so a test that finds the fault fails instead of hanging.
template <typename Fn>
auto ReturnsWithoutWaitingOnPipe(const std::string& fifo, Fn fn, bool& hung) {
    auto result = std::async(std::launch::async, fn);
    hung = result.wait_for(std::chrono::seconds(2)) != std::future_status::ready;
    while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
        // Read-write opening of a pipe never blocks and releases both a
        // waiting reader and a waiting writer.
        const int fd = open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        result.wait_for(std::chrono::milliseconds(50));
        if (fd >= 0)
            close(fd);
    }
    return result.get();
}
