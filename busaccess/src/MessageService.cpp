#include "busaccess/MessageService.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace busaccess {

void WriteTrace(std::string_view text) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    const char* path = std::getenv("QUORL_TRACE");
    FILE* f = (path && *path) ? std::fopen(path, "a") : nullptr;
    FILE* out = f ? f : stderr;
    std::fwrite(text.data(), 1, text.size(), out);
    std::fflush(out);
    if (f)
        std::fclose(f);
}

void WriteTraceLine(const std::string& line) {
    WriteTrace(line + '\n');
}

void TraceMessageService::showInformation(const std::string& text, const std::string& caption) {
    WriteTraceLine(caption + ": " + text);
}

} // namespace busaccess
