#include "WxTestApp.h"
#include "foundation/CGeneralSysUtils.h"
#include "foundation/KCTimer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

static ::testing::Environment* const gWx = ::testing::AddGlobalTestEnvironment(new WxEnvironment);

namespace {

class CountingTimer : public KCTimer {
public:
    explicit CountingTimer(double seconds) : KCTimer(seconds) {}
    void YourCallbackFunc() override { ++ticks; }
    int ticks = 0;
};

// Runs this test program again with the given filter and environment
// changes; answers its exit status.
int RunSelf(const std::string& filter, bool withoutDisplay, const char* traceFile = nullptr) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (withoutDisplay) {
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
        }
        if (traceFile != nullptr)
            setenv("QUORL_TRACE", traceFile, 1);
        setenv("KV_FMWX_CHILD", "1", 1);
        alarm(60); // kept across exec: a child that hangs is ended

        const std::string arg = "--gtest_filter=" + filter;
        execl("/proc/self/exe", "foundation_fmwx_tests", arg.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

bool IsChild() {
    return std::getenv("KV_FMWX_CHILD") != nullptr;
}

} // namespace

TEST(Timer, IntervalsInSecondsAndMilliseconds) {
    CountingTimer a(0.03);
    EXPECT_DOUBLE_EQ(a.GetInterval(), 30.0);
    a.SetInterval(29.9);
    EXPECT_DOUBLE_EQ(a.GetInterval(), 29.9);
}

TEST(Timer, TicksOnTheEventLoop) {
    CountingTimer t(0.005);
    t.Start();
    ASSERT_TRUE(t.IsRunning());
    EXPECT_EQ(KCTimer::Current(), &t);
    EXPECT_TRUE(RunEventsUntil([&] { return t.ticks >= 3; }, 3000));
    t.Stop();
    EXPECT_FALSE(t.IsRunning());
    EXPECT_EQ(KCTimer::Current(), nullptr);
    const int after = t.ticks;
    RunEventsUntil([] { return false; }, 40);
    EXPECT_EQ(t.ticks, after); // no tick after Stop
}

TEST(Timer, OnlyOneRunsAtATime) {
    CountingTimer first(0.005), second(0.005);
    first.Start();
    second.Start(); // ignored while the first is current
    EXPECT_FALSE(second.IsRunning());
    second.Stop(); // stopping a stopped timer leaves the running one alone
    EXPECT_TRUE(first.IsRunning());
    EXPECT_EQ(KCTimer::Current(), &first);
    RunEventsUntil([&] { return first.ticks >= 2; }, 3000);
    EXPECT_EQ(second.ticks, 0);

    first.Stop();
    second.Start();
    EXPECT_TRUE(second.IsRunning());
    EXPECT_TRUE(RunEventsUntil([&] { return second.ticks >= 1; }, 3000));
    {
        CountingTimer scoped(0.005);
        second.Stop();
        scoped.Start();
        EXPECT_EQ(KCTimer::Current(), &scoped);
    } // the destructor stops it
    EXPECT_EQ(KCTimer::Current(), nullptr);
}

TEST(Timer, ACopyStartsStopped) {
    CountingTimer running(0.005);
    running.Start();
    CountingTimer copy(running);
    EXPECT_FALSE(copy.IsRunning());
    EXPECT_DOUBLE_EQ(copy.GetInterval(), 5.0);
    CountingTimer assigned(1.0);
    assigned = running;
    EXPECT_FALSE(assigned.IsRunning());
    EXPECT_DOUBLE_EQ(assigned.GetInterval(), 5.0);
    // Destroying the copies must not stop the running original.
    { CountingTimer temp(running); }
    EXPECT_TRUE(running.IsRunning());
    EXPECT_EQ(KCTimer::Current(), &running);
    running.Stop();
}

TEST(Timer, CallbackMayStopItsTimer) {
    struct SelfStopping : KCTimer {
        SelfStopping() : KCTimer(0.002) {}
        void YourCallbackFunc() override {
            ++ticks;
            Stop();
        }
        int ticks = 0;
    } t;
    t.Start();
    RunEventsUntil([&] { return !t.IsRunning(); }, 3000);
    RunEventsUntil([] { return false; }, 20);
    EXPECT_EQ(t.ticks, 1);
}

// The same timer in a console event loop without any display.
TEST(Timer, RunsWithoutADisplay) {
    if (IsChild())
        GTEST_SKIP() << "already the child run";
    EXPECT_EQ(RunSelf("Timer.TicksOnTheEventLoop:Timer.OnlyOneRunsAtATime", true), 0);
}

TEST(SystemUtils, AlertWithoutADisplayGoesToTheTrace) {
    if (!IsChild()) {
        const char* tmpdir = std::getenv("TMPDIR");
        std::string file =
            std::string(tmpdir && tmpdir[0] == '/' ? tmpdir : "/tmp") + "/kvtraceXXXXXX";
        const int fd = mkstemp(file.data());
        ASSERT_GE(fd, 0);
        close(fd);
        EXPECT_EQ(RunSelf("SystemUtils.AlertWithoutADisplayGoesToTheTrace", true, file.c_str()), 0);
        FILE* f = std::fopen(file.c_str(), "r");
        char line[128] = {};
        ASSERT_NE(f, nullptr);
        ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
        std::fclose(f);
        unlink(file.c_str());
        EXPECT_STREQ(line, "Caption: Text of the alert\n");
        return;
    }
    CGeneralSysUtils::DefaultAlert("Text of the alert", "Caption");
    KURect<short> r;
    r.Set(1, 2, 3, 4);
    CGeneralSysUtils::GetScreenRectInPixels(r);
    EXPECT_EQ(r, KURect<short>()); // no display: all 0
}

// The primary screen of a virtual display of 1280 x 1024 pixels.
TEST(SystemUtils, ScreenRectangle) {
    if (std::getenv("KV_FMWX_SCREEN_CHILD") != nullptr) {
        KURect<short> r;
        r.Set(1, 2, 3, 4);
        CGeneralSysUtils::GetScreenRectInPixels(r);
        EXPECT_EQ(r, KURect<short>(0, 0, 1024, 1280));
        return;
    }
    if (std::system("command -v xvfb-run >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xvfb-run is not installed";
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = '\0';
    // Bounded: timeout ends xvfb-run, its server and the child together
    // (they share its process group) should any of them hang.
    const std::string command =
        std::string("KV_FMWX_SCREEN_CHILD=1 KV_FMWX_CHILD=1 timeout -k 5 60 "
                    "xvfb-run -a -s '-screen 0 1280x1024x24' '") +
        self + "' --gtest_filter=SystemUtils.ScreenRectangle >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
}
