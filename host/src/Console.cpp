#include "host/Console.h"

#include "host/CmdLineOptions.h"

#include <cerrno>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace {

// Switches a terminal to no-echo, non-canonical mode for its lifetime.
class RawTerminal {
public:
    explicit RawTerminal(int fd) : fd(fd) {
        if (!::isatty(fd) || ::tcgetattr(fd, &saved) != 0)
            return;
        termios raw = saved;
        raw.c_lflag &= ~tcflag_t(ICANON | ECHO);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        active = ::tcsetattr(fd, TCSANOW, &raw) == 0;
    }
    ~RawTerminal() {
        if (active)
            ::tcsetattr(fd, TCSANOW, &saved);
    }
    RawTerminal(const RawTerminal&) = delete;
    RawTerminal& operator=(const RawTerminal&) = delete;

private:
    int fd;
    termios saved{};
    bool active = false;
};

} // namespace

void WaitForKey() {
    if (IsSilentMode())
        return;
    RawTerminal terminal(STDIN_FILENO);
    char key = 0;
    ssize_t got;
    do
        got = ::read(STDIN_FILENO, &key, 1);
    while (got < 0 && errno == EINTR);
}

void PromptAndWaitForKey() {
    std::fputs("Type any key to exit\n", stdout);
    std::fflush(stdout);
    WaitForKey();
}
