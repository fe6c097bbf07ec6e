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
