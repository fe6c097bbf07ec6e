#include "FMInternal.h"
#include "foundation/CGeneralSysUtils.h"
#include "foundation/ElfRes.h"
#include "foundation/KUTrace.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <span>
#include <string>
#include <unistd.h>

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
    // The module's own version resource, written into it at build.
    std::unique_ptr<kvElfRes::Image> image;
    if (module.GetPathRef() == nullptr ||
        kvElfRes::Image::OpenFile(module.GetNativePathString(), image) != eNoErr)
        return eMemNullPointer; // no version information
    const kvElfRes::ResourceView* resource =
        image->Find(kvElfRes::ResName::Number(kvElfRes::kVersionType),
                    kvElfRes::ResName::Number(kvElfRes::kVersionId));
    if (resource == nullptr || resource->size == 0)
        return eMemNullPointer;
    const uint8_t* data = image->Data(*resource);
    if (data == nullptr)
        return ConvertErrorPOSIX(EIO);
    std::string value;
    if (!kvElfRes::FindVersionValue(std::span<const uint8_t>(data, size_t(resource->size)),
                                    kvElfRes::FileVersionQuery(), value) ||
        value.empty())
        return eGenericErr; // the value is missing
    out = value;
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
