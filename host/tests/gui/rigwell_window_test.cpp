// The real program in GUI mode: it shows its main window and ends with 0
// when the window manager asks that window to close; keys typed into a
// plug-in's editor go to the plug-in first.
#include "../HostTestSupport.h"
#include "gui_support.h"

#include "xdrive/XDrive.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

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

// The Plugins menu opens at the width of its items, the first time too (a
// menu filled only as it opens keeps the width of an empty one).
TEST(RigwellWindow, ThePluginsMenuOpensAtTheWidthOfItsItems) {
    REQUIRE_DISPLAY();
    xdrive::Display x;
    ASSERT_TRUE(x.Ok() && x.HasXTest());
    std::string program = RIGWELL_PATH;
    std::string option = "-pf", plugin = KV_PASSTHROUGH, multi = "-mi";
    char* argv[] = {program.data(), option.data(), plugin.data(), multi.data(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ), 0);
    const xdrive::WindowId main = x.WaitForWindow("Rigwell & Runner", false, 30);
    EXPECT_NE(main, 0u);
    // Opens the menu bar's second menu (after "File") with a click on its
    // title, and closes it again the same way: the width it opened at, 0
    // when none opened.
    auto openedWidth = [&] {
        if (!x.Click(main, 60, 12))
            return 0;
        std::vector<xdrive::WindowId> popups;
        for (int i = 0; i < 250 && popups.empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            popups = x.Popups();
        }
        // The menu is laid out when it shows; its size settles at once. A
        // click right after the opening one would count as part of it.
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        popups = x.Popups();
        const auto geometry = popups.empty() ? std::nullopt : x.GetGeometry(popups.back());
        // A click on the title again closes it.
        x.Click(main, 60, 12);
        for (int i = 0; i < 250 && !x.Popups().empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        return geometry ? geometry->width : 0;
    };
    if (main != 0) {
        const int first = openedWidth();
        const int second = openedWidth();
        // "Prev Plugin '[' " in full is far wider than an empty menu.
        EXPECT_GE(first, 100);
        EXPECT_EQ(first, second);
        EXPECT_TRUE(x.Close(main));
    }
    EXPECT_EQ(WaitFor(pid, std::chrono::seconds(30)), 0);
}

// Keys typed into the editor while the main window exists: the plug-in
// sees each first; 'x' is the plug-in's own, 'b' (which the plug-in does not
// take) then toggles bypass as the main window's key.
TEST(RigwellWindow, KeysTypedIntoAnEditorReachItsPluginFirst) {
    REQUIRE_DISPLAY();
    xdrive::Display x;
    ASSERT_TRUE(x.Ok() && x.HasXTest());
    const std::string calls =
        testing::TempDir() + "/kv_window_keys_" + std::to_string(getpid()) + ".txt";
    setenv("KV_TEST_PLUGIN_CALL_LOG", calls.c_str(), 1);
    std::string program = RIGWELL_PATH;
    std::string fileOption = "-pf", plugin = KV_PASSTHROUGH, nameOption = "-n", name = "PQ5S";
    std::string multi = "-mi";
    char* argv[] = {program.data(), fileOption.data(), plugin.data(), nameOption.data(),
                    name.data(),    multi.data(),      nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ);
    unsetenv("KV_TEST_PLUGIN_CALL_LOG");
    ASSERT_EQ(spawned, 0);
    const xdrive::WindowId main = x.WaitForWindow("Rigwell & Runner", false, 30);
    const xdrive::WindowId editor = x.WaitForWindow("PassThrough (raPI, PQ5S)", false, 30);
    ASSERT_TRUE(main != 0 && editor != 0);
    // Both windows start at the top-left corner: the editor goes below the
    // main window's menu bar, and a click gives it the keyboard.
    ASSERT_TRUE(x.Move(editor, 0, 120));
    ASSERT_TRUE(x.Click(editor, 150, 100));
    auto seen = [&](const std::string& text) {
        for (int i = 0; i < 200; ++i) {
            if (ReadText(calls).find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        return false;
    };
    ASSERT_TRUE(seen("KP_DoMouseUp")) << ReadText(calls);
    EXPECT_TRUE(x.Keys({"x"}));
    // Key events carry the unshifted key: letters in upper case.
    EXPECT_TRUE(seen("KP_DoKeyDown(X)\n")) << ReadText(calls);
    EXPECT_TRUE(x.Keys({"b"}));
    EXPECT_TRUE(seen("KP_DoKeyDown(B)\nKP_SetBypass(1)\n")) << ReadText(calls);
    EXPECT_TRUE(x.Close(main));
    EXPECT_EQ(WaitFor(pid, std::chrono::seconds(30)), 0);
    std::remove(calls.c_str());
}

} // namespace
