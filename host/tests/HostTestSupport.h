// Helpers of the host's tests: a scratch folder that stands in for the
// user's home and temporary folders, and running a program as a separate
// process with its output captured.
#pragma once

#include "testsupport/ScopedEnv.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

// A fresh folder, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/kvhost_XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (mkdtemp(buffer.data()))
            path = buffer.data();
    }
    ~ScratchFolder() {
        std::error_code ec;
        if (!path.empty())
            std::filesystem::remove_all(path, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string File(const std::string& leaf) const { return path + "/" + leaf; }
    std::string MakeFolder(const std::string& leaf) const {
        std::filesystem::create_directories(File(leaf));
        return File(leaf);
    }

    std::string path;
};

// The user's folders below one scratch folder for the life of the object.
class ScratchHome {
public:
    ScratchHome()
        : home("HOME", scratch.MakeFolder("home")),
          config("XDG_CONFIG_HOME", scratch.MakeFolder("home/.config")),
          tmp("TMPDIR", scratch.MakeFolder("tmp")), runtime("XDG_RUNTIME_DIR", nullptr),
          registry("QUORL_REGISTRY_DIR", scratch.MakeFolder("registry")) {}

    std::string File(const std::string& leaf) const { return scratch.File(leaf); }
    std::string Config(const std::string& leaf) const {
        return scratch.File("home/.config/" + leaf);
    }
    std::string Tmp(const std::string& leaf) const { return scratch.File("tmp/" + leaf); }

    ScratchFolder scratch;

private:
    ScopedEnv home;
    ScopedEnv config;
    ScopedEnv tmp;
    ScopedEnv runtime;
    ScopedEnv registry;
};

inline void WriteText(const std::string& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary);
    out << text;
}

inline std::string ReadText(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct ProcessResult {
    int exitStatus = -1; // -1 when it did not end by itself in time
    std::string out;
    std::string err;
};

// Runs `program` with `arguments` in the current environment, standard
// input from `input` (the end of input follows it), and waits at most
// `timeout` for it to end (then it is killed).
inline ProcessResult RunProcess(const std::string& program,
                                const std::vector<std::string>& arguments,
                                const std::string& input = std::string(),
                                std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
    ProcessResult result;
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (spawned == 0 && !input.empty())
        (void)!write(in[1], input.data(), input.size());
    close(in[1]);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    while (spawned == 0 && open > 0 && std::chrono::steady_clock::now() < deadline) {
        if (poll(fds, 2, 100) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                (i == 0 ? result.out : result.err).append(buffer, size_t(got));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (pollfd& fd : fds)
        if (fd.fd >= 0)
            close(fd.fd);
    if (spawned != 0)
        return result;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return result;
        }
        usleep(10000);
    }
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

#ifdef GUARD_PROBE_PATH
// A process that owns a name until its standard input ends.
class Owner {
public:
    explicit Owner(const std::string& name) {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        std::string program = GUARD_PROBE_PATH;
        std::string own = "own";
        std::string copy = name;
        char* argv[] = {program.data(), own.data(), copy.data(), nullptr};
        posix_spawn(&pid, GUARD_PROBE_PATH, &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        input = in[1];
        output = out[0];
    }
    ~Owner() { Stop(); }

    // The next line the owner prints (empty after a time-out).
    std::string Line() {
        std::string line;
        pollfd fd{output, POLLIN, 0};
        while (poll(&fd, 1, 10000) > 0) {
            char c;
            if (read(output, &c, 1) != 1 || c == '\n')
                break;
            line += c;
        }
        return line;
    }

    int Stop() {
        if (input >= 0)
            close(input);
        input = -1;
        int status = -1;
        if (pid > 0)
            waitpid(pid, &status, 0);
        pid = 0;
        if (output >= 0)
            close(output);
        output = -1;
        return status;
    }

private:
    pid_t pid = 0;
    int input = -1;
    int output = -1;
};
#endif

// A WAV file of `frames` frames of a stereo 440 Hz sine, made by sox.
inline void MakeWav(const std::string& file, int frames, int rate = 44100) {
    const std::string command = "sox -q -r " + std::to_string(rate) + " -c 2 -n -b 16 '" + file +
                                "' synth " + std::to_string(frames) + "s sine 440 vol 0.5";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}
