// The real program in GUI mode: it shows its main window and ends with 0
// when the window manager asks that window to close.
#include "gui_support.h"

// Xlib's macros come after every C++ header that they could break.
#include <X11/Xlib.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

extern char** environ;

namespace {

// The top-level window titled `title` below `w`, or 0.
Window FindWindowByTitle(Display* d, Window w, const std::string& title) {
    char* name = nullptr;
    if (XFetchName(d, w, &name) && name != nullptr) {
        const bool match = title == name;
        XFree(name);
        if (match)
            return w;
    }
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i)
        found = FindWindowByTitle(d, children[i], title);
    if (children != nullptr)
        XFree(children);
    return found;
}

void SendDelete(Display* d, Window w) {
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = w;
    event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, w, False, NoEventMask, &event);
    XFlush(d);
}

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
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    std::string program = RIGWELL_PATH;
    std::string option = "-pf";
    std::string plugin = KV_PASSTHROUGH;
    char* argv[] = {program.data(), option.data(), plugin.data(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ), 0);
    Window main = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (main == 0 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        main = FindWindowByTitle(d, DefaultRootWindow(d), "Rigwell & Runner");
    }
    EXPECT_NE(main, 0u);
    if (main != 0)
        SendDelete(d, main);
    EXPECT_EQ(WaitFor(pid, std::chrono::seconds(30)), 0);
    XCloseDisplay(d);
}

} // namespace

namespace {

TEST(RigwellWindow, GuiModeWithoutDisplayReportsAndExitsWithOne) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, "DISPLAY=", 8) != 0 && std::strncmp(*e, "WAYLAND_DISPLAY=", 16) != 0)
            env.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = RIGWELL_PATH;
    char* argv[] = {program.data(), nullptr};
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    EXPECT_EQ(WaitFor(pid, std::chrono::seconds(30)), 1);
    std::string err;
    char buffer[512];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        err.append(buffer, static_cast<size_t>(n));
    close(pipeFds[0]);
    EXPECT_NE(err.find("rigwell: cannot open the display"), std::string::npos) << err;
}

} // namespace
