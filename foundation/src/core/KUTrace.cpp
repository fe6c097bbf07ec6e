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

} // namespace

void KUTrace(std::string_view text) {
    std::lock_guard lock(TraceMutex());
    const char* file = std::getenv("QUORL_TRACE");
    int fd = -1;
    // O_NONBLOCK: a named pipe without a reader fails the open at once.
    if (file != nullptr && file[0] != '\0')
        fd = ::open(file, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0644);
    WriteAll(fd >= 0 ? fd : STDERR_FILENO, text);
    if (fd >= 0)
        ::close(fd);
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
