#include "usb/BulkPipe.h"

#include "usb/LibusbBackend.h"
#include "usb/SocketBackend.h"

#include <cstdlib>

namespace kvusb {

const char* IoStatusName(IoStatus status) {
    switch (status) {
    case IoStatus::ok:
        return "ok";
    case IoStatus::timeout:
        return "timeout";
    case IoStatus::noDevice:
        return "no device";
    case IoStatus::failed:
        return "failed";
    }
    return "unknown";
}

IoStatus WriteAll(BulkPipe& pipe, const uint8_t* data, size_t len) {
    size_t done = 0;
    while (done < len) {
        size_t moved = 0;
        IoStatus st = pipe.write(data + done, len - done, moved);
        if (st != IoStatus::ok)
            return st;
        if (moved == 0) // a pipe that takes nothing would spin forever
            return IoStatus::failed;
        done += moved;
    }
    return IoStatus::ok;
}

IoStatus ReadAll(BulkPipe& pipe, uint8_t* buf, size_t len) {
    // Each read waits at most one time-out; a board that keeps sending
    // empty packets must not hold the caller forever either.
    constexpr int kMaxEmptyPackets = 64;
    size_t done = 0;
    int empty = 0;
    while (done < len) {
        size_t got = 0;
        IoStatus st = pipe.read(buf + done, len - done, got);
        if (st != IoStatus::ok)
            return st;
        if (got == 0 && ++empty > kMaxEmptyPackets)
            return IoStatus::failed;
        done += got;
    }
    return IoStatus::ok;
}

std::shared_ptr<Backend> SystemBackend(std::chrono::milliseconds timeout) {
    if (const char* sockets = std::getenv("TEROVAN_U2C_SOCKET"))
        return std::make_shared<SocketBackend>(SocketBackend::SplitPathList(sockets), timeout);
    const char* ids = std::getenv("TEROVAN_U2C_USB_IDS");
    return std::make_shared<LibusbBackend>(ParseUsbIdList(ids ? ids : ""), timeout);
}

} // namespace kvusb
