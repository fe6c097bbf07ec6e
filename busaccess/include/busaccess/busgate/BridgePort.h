// The bridge operations the bus library needs, each returning the frame's
// status byte (1 success, 0 failure).
#pragma once

#include <cstdint>
#include <functional>

namespace busgate {

class BridgePort {
public:
    // (length, slave address, data, status) of every I2C write attempt.
    using TrafficRecorder =
        std::function<void(uint32_t length, uint8_t slave, const uint8_t* data, uint8_t status)>;

    virtual ~BridgePort() = default;
    virtual int Open() = 0;
    virtual int Close() = 0;
    virtual int IsAlive(uint8_t slave) = 0;
    virtual int Read(uint8_t slave, uint32_t length, uint8_t* buffer) = 0;
    virtual int Write(uint8_t slave, uint32_t length, const uint8_t* data) = 0;
    // Both outputs 0 on failure.
    virtual int GetVersion(uint32_t& boardType, uint32_t& firmwareRevision) = 0;

    // The bridge services.
    virtual int WriteRead(uint8_t slave, uint32_t writeLength, const uint8_t* data,
                          uint32_t readLength, uint8_t* buffer) = 0;
    virtual int ReadMem(uint32_t address, uint32_t length, uint8_t* buffer) = 0;
    virtual int WriteMem(uint32_t address, uint32_t value) = 0;
    virtual int WriteMemMasked(uint32_t address, uint32_t mask, uint32_t value) = 0;
    virtual int WriteFlash(uint32_t address, const uint8_t* data, uint32_t length) = 0;
    virtual int EraseFlash(uint32_t address, uint32_t length) = 0;
    virtual int Delay(uint32_t milliseconds) = 0;
    // 0x80 with current bridge firmware, 0x31 with old firmware.
    virtual uint8_t ServiceAddress() const = 0;
    // Null removes the recorder.
    virtual void SetTrafficRecorder(TrafficRecorder recorder) = 0;
};

} // namespace busgate
