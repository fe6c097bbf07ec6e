#include "plugin/DebugTrace.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

void DulmDebugOutput(const std::string& text) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    const char* path = std::getenv("QUORL_TRACE");
    if (path && *path) {
        if (std::FILE* f = std::fopen(path, "a")) {
            std::fwrite(text.data(), 1, text.size(), f);
            std::fclose(f);
            return;
        }
    }
    std::fwrite(text.data(), 1, text.size(), stderr);
}
