#include "plugin/ConnectTerovan.h"

#include "bridge/TerovanU2C.h"

CConnectTerovan::CConnectTerovan(std::shared_ptr<CTickClock> clock)
    : CConnectBridged(std::move(clock)) {}

CConnectTerovan::~CConnectTerovan() {
    EndConnection();
}

bool CConnectTerovan::IsHandleInvalid() {
    std::lock_guard lock(mutex_);
    return usable_ == 0;
}

void CConnectTerovan::CloseHandle() {
    TerovanU2C_CloseDevice(handle_);
    handle_ = -1;
}

void CConnectTerovan::OpenBridge() {
    int32_t handle;
    {
        Unlocked unlocked(*this);
        handle = TerovanU2C_OpenDevice(0, kClockHz);
    }
    handle_ = handle;
    usable_ = handle != -1 && handle != 0;
}

CConnectBridged::BridgeResult CConnectTerovan::BridgeWrite(const uint8_t* data, uint32_t length,
                                                           std::string& failure) {
    const int32_t result = TerovanU2C_Write(handle_, slave_, length, data);
    usable_ = result;
    failure = "Failed\n";
    return result ? BridgeResult::ok : BridgeResult::failed;
}

CConnectBridged::BridgeResult CConnectTerovan::BridgeRead(uint8_t* buffer, uint32_t length) {
    return TerovanU2C_Read(handle_, slave_, length, buffer) ? BridgeResult::ok
                                                            : BridgeResult::failed;
}
