// The one bridge device of the TerovanU2C library and its operations; the
// exported functions are thin wrappers around the process-wide instance.
#pragma once

#include "bridge/TerovanU2C.h"
#include "busaccess/FrameLink.h"

#include <memory>

namespace terovan {

// The handle of the library's one device record (never 0 or -1).
constexpr int32_t kDeviceHandle = 0x54553243;

class TerovanBridge {
public:
    // A null backend means the system's boards, looked up at every open.
    explicit TerovanBridge(std::shared_ptr<kvusb::Backend> backend = nullptr);

    void setBackend(std::shared_ptr<kvusb::Backend> backend) { backend_ = std::move(backend); }

    int32_t OpenDevice(uint32_t channel, uint32_t clockHz);
    int32_t CloseDevice(int32_t handle);
    int32_t SetI2CFreq(int32_t handle, uint32_t clockHz);
    uint32_t GetI2CFreq(int32_t handle);
    int32_t IsAlive(int32_t handle, uint8_t slave);
    int32_t Read(int32_t handle, uint8_t slave, uint32_t length, uint8_t* buffer);
    int32_t Write(int32_t handle, uint8_t slave, uint32_t length, const uint8_t* data);
    int32_t ReadMem(int32_t handle, uint32_t address, uint8_t* buffer, uint32_t length);
    int32_t WriteMem(int32_t handle, uint32_t address, const uint8_t* data, uint32_t length);
    int32_t ReadFlash(int32_t handle, uint32_t address, uint8_t* buffer, uint32_t length);
    int32_t WriteFlash(int32_t handle, uint32_t address, const uint8_t* data, uint32_t length);
    int32_t EraseFlash(int32_t handle, uint32_t address, uint32_t length);
    int32_t GetVersion(int32_t handle, uint32_t* values);

    const TerovanU2CDevice& record() const { return record_; }

private:
    bool usable(int32_t handle) const;
    void clearRecord();
    int32_t sendService(int32_t handle, const u2c::Bytes& packet);
    int32_t readService(int32_t handle, const u2c::Bytes& packet, uint8_t* buffer, uint32_t length);

    std::shared_ptr<kvusb::Backend> backend_;
    u2c::FrameLink link_{u2c::kTerovanProfile};
    TerovanU2CDevice record_{};
};

// The library's process-wide instance.
TerovanBridge& Library();

} // namespace terovan
