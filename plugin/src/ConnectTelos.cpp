#include "plugin/ConnectTelos.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr char kNoSlave[] = "There is no slave responsible";
static_assert(sizeof kNoSlave - 1 == 29);

void SetStatus(busgate_status& status, int32_t code, const char* text) {
    status.code = code;
    std::snprintf(status.text, sizeof status.text, "%s", text);
}

} // namespace

CConnectTelos::CConnectTelos(std::shared_ptr<CTickClock> clock)
    : CConnectBridged(std::move(clock)) {}

CConnectTelos::~CConnectTelos() {
    EndConnection();
}

int32_t CConnectTelos::GetStatus() {
    std::lock_guard lock(mutex_);
    return status_.code;
}

busgate_status CConnectTelos::LastStatus() {
    std::lock_guard lock(mutex_);
    return status_;
}

bool CConnectTelos::CanReuseHandle() const {
    // A bus that was only busy still works as well.
    return status_.code == BUSGATE_STATUS_BUSY ||
           (status_.code != 0 && std::strncmp(status_.text, kNoSlave, sizeof kNoSlave - 1) == 0);
}

void CConnectTelos::ForgetBusy() {
    // A busy bus is the state of one call, not of the bridge.
    if (status_.code == BUSGATE_STATUS_BUSY)
        SetStatus(status_, 0, "");
}

void CConnectTelos::CloseHandle() {
    busgate_close(handle_, &status_);
    handle_ = 0;
}

void CConnectTelos::OpenBridge() {
    busgate_handle handle = 0;
    auto status = std::make_unique<busgate_status>();
    std::memset(status.get(), 0, sizeof *status);
    {
        Unlocked unlocked(*this);
        auto list = std::make_unique<busgate_board_list>();
        std::memset(list.get(), 0, sizeof *list);
        busgate_find_boards(list.get(), status.get());
        if (list->count <= 1) {
            SetStatus(*status, 255, "Board not detected");
        } else {
            handle = busgate_open(&list->boards[1], status.get());
            if (handle != 0)
                busgate_set_bitrate(handle, status.get(), kBitrate);
        }
    }
    handle_ = handle;
    status_ = *status;
}

CConnectBridged::BridgeResult CConnectTelos::BridgeWrite(const uint8_t* data, uint32_t length,
                                                         std::string& failure) {
    ForgetBusy();
    const int32_t result = busgate_transmit(handle_, &status_, slave_, data, length);
    if (result > 0)
        return BridgeResult::ok;
    status_.text[sizeof status_.text - 1] = '\0';
    failure = std::string("Failed: ") + status_.text + "\n";
    return status_.code == BUSGATE_STATUS_BUSY ? BridgeResult::busy : BridgeResult::failed;
}

CConnectBridged::BridgeResult CConnectTelos::BridgeRead(uint8_t* buffer, uint32_t length) {
    ForgetBusy();
    const int32_t result = busgate_receive(handle_, &status_, slave_, length, buffer, length);
    if (result > 0)
        return BridgeResult::ok;
    return status_.code == BUSGATE_STATUS_BUSY ? BridgeResult::busy : BridgeResult::failed;
}
