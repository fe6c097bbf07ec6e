#include "FMInternal.h"
#include "foundation/CGeneralSysUtils.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#ifndef KV_VERSION_STRING
#define KV_VERSION_STRING "0.0.0"
#endif

namespace kvFM::detail {

void TraceLine(const std::string& text) {
    std::string line = text;
    if (line.empty() || line.back() != '\n')
        line += '\n';
    const char* file = std::getenv("QUORL_TRACE");
    int fd = 2;
    // O_NONBLOCK: a named pipe without a reader must not stop the program;
    // the line then goes to stderr.
    if (file != nullptr && file[0] != '\0')
        fd = ::open(file, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0)
        fd = 2;
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    if (fd != 2)
        ::close(fd);
}

} // namespace kvFM::detail

namespace {

int64_t MonotonicMicroseconds() {
    timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

} // namespace

UMicroseconds& UMicroseconds::ReadTime() {
    value = MonotonicMicroseconds();
    return *this;
}

int CGeneralSysUtils::GetCurrentProcessID() {
    return static_cast<int>(::getpid());
}

void CGeneralSysUtils::DefaultSystemBeep() {
    kvFM::detail::TraceLine("Beep");
}

unsigned long CGeneralSysUtils::GetTickCount() {
    return static_cast<unsigned long>(MonotonicMicroseconds() / 1000) / 17;
}

KTErr CGeneralSysUtils::GetVersionString(const kvFM::KCStPath& module, std::string& out) {
    // The modules of the tool set carry the version they were built with.
    if (module.GetPathRef() == nullptr)
        return eMemNullPointer;
    if (!kvFM::IsFile(module.GetPathRef()))
        return eFMFileNotFound;
    out = KV_VERSION_STRING;
    return eNoErr;
}

KTErr CGeneralSysUtils::GetCurrentDateAndTimeString(std::string& out) {
    const time_t now = ::time(nullptr);
    char buffer[64];
    out = ::ctime_r(&now, buffer) ? buffer : "";
    return eNoErr;
}

KTErr CGeneralSysUtils::Sleep(unsigned int milliseconds) {
    timespec ts{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
    return eNoErr;
}
