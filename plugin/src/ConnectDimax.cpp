#include "plugin/ConnectDimax.h"

#include <cstring>

namespace {

// Indexed by result code.
const char* const kU2CStatusNames[] = {
    "U2C_SUCCESS",
    "U2C_BAD_PARAMETER",
    "I2C adapter interface not detected.",
    "DulmDSP device not detected.",
    "U2C_TRANSACTION_FAILED",
    "DulmDSP device not detected.",
    "DulmDSP device not detected.",
    "U2C_SENDING_MEMORY_ADDRESS_FAILED",
    "U2C_SENDING_DATA_FAILED",
    "U2C_NOT_IMPLEMENTED",
    "U2C_NO_ACK",
    "U2C_DEVICE_BUSY",
    "U2C_MEMORY_ERROR",
    "U2C_UNKNOWN_ERROR",
    "U2C_I2C_CLOCK_SYNCH_TIMEOUT",
};

// A record for one transfer: no memory-address phase, `length` data bytes.
DimaxTransaction MakeRecord(uint8_t slave, uint32_t length) {
    DimaxTransaction record;
    std::memset(&record, 0, sizeof record);
    record.nSlaveDeviceAddress = slave;
    record.nBufferLength = static_cast<uint16_t>(length);
    return record;
}

} // namespace

const char* U2CStatusName(uint32_t code) {
    if (code < std::size(kU2CStatusNames))
        return kU2CStatusNames[code];
    return "Unknown return code";
}

const SDimaxApi& DimaxLibraryApi() {
    static const SDimaxApi api{U2C_OpenDevice, U2C_SetI2cFreq, U2C_Write, U2C_Read,
                               U2C_CloseDevice};
    return api;
}

CConnectDimax::CConnectDimax(const SDimaxApi& api, std::shared_ptr<CTickClock> clock)
    : CConnectBridged(std::move(clock)), api_(api) {}

CConnectDimax::~CConnectDimax() {
    EndConnection();
}

int32_t CConnectDimax::GetStatus() {
    std::lock_guard lock(mutex_);
    return status_;
}

void CConnectDimax::CloseHandle() {
    api_.CloseDevice(handle_);
    handle_ = U2C_INVALID_HANDLE;
}

void CConnectDimax::OpenBridge() {
    U2C_HANDLE handle;
    {
        Unlocked unlocked(*this);
        handle = api_.OpenDevice(0);
        if (handle != U2C_INVALID_HANDLE)
            api_.SetI2cFreq(handle, 1);
    }
    handle_ = handle;
    if (handle == U2C_INVALID_HANDLE)
        status_ = U2C_HARDWARE_NOT_FOUND;
}

CConnectBridged::BridgeResult CConnectDimax::BridgeWrite(const uint8_t* data, uint32_t length,
                                                         std::string& failure) {
    if (length > U2C_MAX_BUFFER) { // the record holds no more
        failure = std::string("Failed: ") + U2CStatusName(U2C_BAD_PARAMETER) + "\n";
        return BridgeResult::refused;
    }
    DimaxTransaction record = MakeRecord(slave_, length);
    if (length)
        std::memcpy(record.Buffer, data, length);
    const U2C_RESULT result = api_.Write(handle_, &record);
    status_ = result;
    if (result == U2C_SUCCESS)
        return BridgeResult::ok;
    failure = std::string("Failed: ") + U2CStatusName(static_cast<uint32_t>(result)) + "\n";
    return BridgeResult::failed;
}

CConnectBridged::BridgeResult CConnectDimax::BridgeRead(uint8_t* buffer, uint32_t length) {
    if (length > U2C_MAX_BUFFER)
        return BridgeResult::refused;
    DimaxTransaction record = MakeRecord(slave_, length);
    if (api_.Read(handle_, &record) != U2C_SUCCESS)
        return BridgeResult::failed;
    if (length)
        std::memcpy(buffer, record.Buffer, length);
    return BridgeResult::ok;
}
