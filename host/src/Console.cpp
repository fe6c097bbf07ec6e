#include "host/Console.h"

#include "host/CmdLineOptions.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iterator>
#include <termios.h>
#include <unistd.h>

namespace {

// The terminal's mode from before the key wait, for the signal handler: a
// signal that ends the program during the wait puts it back first.
termios savedMode{};
volatile std::sig_atomic_t savedFd = -1;
const int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
struct sigaction previousActions[std::size(kEndingSignals)];

void RestoreTerminal() {
    if (savedFd >= 0)
        ::tcsetattr(savedFd, TCSANOW, &savedMode);
}

// Puts the terminal back, then lets the signal do what it did before the
// wait (by default: end the program).
void OnEndingSignal(int signal) {
    const int saved = errno;
    RestoreTerminal();
    for (size_t i = 0; i < std::size(kEndingSignals); ++i)
        if (kEndingSignals[i] == signal)
            ::sigaction(signal, &previousActions[i], nullptr);
    ::raise(signal);
    errno = saved;
}

// Switches a terminal to no-echo, non-canonical mode for its lifetime; the
// mode is put back on every way out, a signal that ends the program
// included.
class RawTerminal {
public:
    explicit RawTerminal(int fd) {
        if (!::isatty(fd) || ::tcgetattr(fd, &savedMode) != 0)
            return;
        struct sigaction action {};
        sigemptyset(&action.sa_mask);
        action.sa_handler = &OnEndingSignal;
        for (size_t i = 0; i < std::size(kEndingSignals); ++i)
            ::sigaction(kEndingSignals[i], &action, &previousActions[i]);
        termios raw = savedMode;
        raw.c_lflag &= ~tcflag_t(ICANON | ECHO);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        savedFd = fd;
        ::tcsetattr(fd, TCSANOW, &raw);
    }
    ~RawTerminal() {
        if (savedFd < 0)
            return;
        RestoreTerminal();
        savedFd = -1;
        for (size_t i = 0; i < std::size(kEndingSignals); ++i)
            ::sigaction(kEndingSignals[i], &previousActions[i], nullptr);
    }
    RawTerminal(const RawTerminal&) = delete;
    RawTerminal& operator=(const RawTerminal&) = delete;
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

void ReportCause(const std::string& text) {
    const std::string line = "rigwell: " + text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}
