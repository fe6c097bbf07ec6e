#include "FMInternal.h"
#include "foundation/CGeneralSysUtils.h"
#include "foundation/KUTrace.h"

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
    KUTraceLine("Beep");
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
