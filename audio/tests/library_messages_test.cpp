// The audio libraries' own messages: a program that starts PortAudio and
// PortMidi without a JACK server and without sound cards prints nothing of
// theirs; the messages go to the debug trace.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "TempFolder.h"

namespace {

// Runs the probe with its output in two files and `server` as the JACK
// server it looks for; its exit status, -1 when it did not end in time.
int RunProbe(const TempFolder& tmp, const std::string& server) {
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        const int out = ::open(tmp.File("out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(tmp.File("err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0)
            ::_exit(100);
        ::setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
        ::setenv("QUORL_TRACE", tmp.File("trace.txt").c_str(), 1);
        ::execl(KV_LIBRARY_MESSAGES_PROBE, KV_LIBRARY_MESSAGES_PROBE, nullptr);
        ::_exit(101);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Text(const std::string& file) {
    const auto bytes = ReadBytes(file);
    return std::string(bytes.begin(), bytes.end());
}

} // namespace

TEST(AudioLibraryMessages, GoToTheTraceAndAFailedOpenNamesItsCause) {
    TempFolder tmp;
    // No server of that name runs: JACK's client library complains.
    ASSERT_EQ(RunProbe(tmp, "kv-nobody-" + std::to_string(::getpid())), 0);
    EXPECT_EQ(Text(tmp.File("err.txt")), "");
    EXPECT_EQ(Text(tmp.File("out.txt")), "there is no output device 9999\n");
    const std::string trace = Text(tmp.File("trace.txt"));
    EXPECT_NE(trace.find("JACK: "), std::string::npos) << trace;
}
