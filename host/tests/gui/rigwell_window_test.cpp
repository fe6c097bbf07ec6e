// The real program in GUI mode: it shows its main window and ends with 0
// when the window manager asks that window to close.
#include "gui_support.h"

#include "xdrive/XDrive.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

extern char** environ;

namespace {

// The exit status of the child, or -1 when it does not end in time.
int WaitFor(pid_t pid, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

TEST(RigwellWindow, ClosingTheMainWindowEndsTheProgramWithZero) {
    REQUIRE_DISPLAY();
    xdrive::Display x;
    ASSERT_TRUE(x.Ok());
    std::string program = RIGWELL_PATH;
    std::string option = "-pf";
    std::string plugin = KV_PASSTHROUGH;
    char* argv[] = {program.data(), option.data(), plugin.data(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ), 0);
    const xdrive::WindowId main = x.WaitForWindow("Rigwell & Runner", false, 30);
    EXPECT_NE(main, 0u);
    if (main != 0) {
        EXPECT_TRUE(x.Close(main));
    }
    EXPECT_EQ(WaitFor(pid, std::chrono::seconds(30)), 0);
}

} // namespace
