#include "busaccess/MessageService.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace busaccess {

void WriteTraceLine(const std::string& line) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    const char* path = std::getenv("QUORL_TRACE");
    FILE* f = (path && *path) ? std::fopen(path, "a") : nullptr;
    FILE* out = f ? f : stderr;
    std::fputs(line.c_str(), out);
    std::fputc('\n', out);
    std::fflush(out);
    if (f)
        std::fclose(f);
}

void TraceMessageService::showInformation(const std::string& text, const std::string& caption) {
    WriteTraceLine(caption + ": " + text);
}

} // namespace busaccess
