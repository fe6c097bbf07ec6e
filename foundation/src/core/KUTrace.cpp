#include "foundation/KUTrace.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <unistd.h>

namespace {

std::mutex& TraceMutex() {
    static std::mutex mutex;
    return mutex;
}

void WriteAll(int fd, std::string_view text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
}

// Writes to the QUORL_TRACE file; false when none is set or it cannot be
// opened. Called with the trace lock held.
bool WriteTraceFile(std::string_view text) {
    const char* file = std::getenv("QUORL_TRACE");
    if (file == nullptr || file[0] == '\0')
        return false;
    // O_NONBLOCK: a named pipe without a reader fails the open at once.
    const int fd = ::open(file, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0)
        return false;
    WriteAll(fd, text);
    ::close(fd);
    return true;
}

} // namespace

void KUTrace(std::string_view text) {
    std::lock_guard lock(TraceMutex());
    if (!WriteTraceFile(text))
        WriteAll(STDERR_FILENO, text);
}

void KUDebugTrace(std::string_view text) {
    std::lock_guard lock(TraceMutex());
    WriteTraceFile(text);
}

void KUUserLine(std::string_view line) {
    std::string text(line);
    if (text.empty() || text.back() != '\n')
        text += '\n';
    std::lock_guard lock(TraceMutex());
    WriteTraceFile(text);
    WriteAll(STDERR_FILENO, text);
}

void KUTraceLine(std::string_view line) {
    if (!line.empty() && line.back() == '\n') {
        KUTrace(line);
        return;
    }
    std::string text(line);
    text += '\n';
    KUTrace(text);
}
