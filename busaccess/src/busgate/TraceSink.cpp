#include "busaccess/busgate/TraceSink.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace busgate {

namespace {

std::mutex& TraceMutex() {
    static std::mutex m;
    return m;
}

} // namespace

void TraceWrite(std::string_view text) {
    std::lock_guard<std::mutex> guard(TraceMutex());
    const char* path = std::getenv("QUORL_TRACE");
    FILE* file = (path && *path) ? std::fopen(path, "a") : nullptr;
    FILE* out = file ? file : stderr;
    std::fwrite(text.data(), 1, text.size(), out);
    std::fflush(out);
    if (file)
        std::fclose(file);
}

void Beep(unsigned frequency, unsigned milliseconds) {
    TraceWrite("Beep(" + std::to_string(frequency) + "," + std::to_string(milliseconds) + ")\n");
}

} // namespace busgate
