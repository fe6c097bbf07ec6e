// The bridge operations the bus library needs, each returning the frame's
// status byte (1 success, 0 failure).
#pragma once

#include <cstdint>

namespace busgate {

class BridgePort {
public:
    virtual ~BridgePort() = default;
    virtual int Open() = 0;
    virtual int Close() = 0;
    virtual int IsAlive(uint8_t slave) = 0;
    virtual int Read(uint8_t slave, uint32_t length, uint8_t* buffer) = 0;
    virtual int Write(uint8_t slave, uint32_t length, const uint8_t* data) = 0;
    // Both outputs 0 on failure.
    virtual int GetVersion(uint32_t& boardType, uint32_t& firmwareRevision) = 0;
};

} // namespace busgate
