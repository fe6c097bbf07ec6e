// The bus library's bridge operations over its own bridge driver.
#pragma once

#include "busaccess/BridgeDriver.h"
#include "busaccess/busgate/BridgePort.h"

namespace busgate {

class DriverBridgePort final : public BridgePort {
public:
    explicit DriverBridgePort(busaccess::BridgeDriver& driver) : driver_(driver) {}

    int Open() override { return driver_.BridgeOpen(); }
    int Close() override { return driver_.BridgeClose(); }
    int IsAlive(uint8_t slave) override { return driver_.BridgeIsAlive(slave); }
    int Read(uint8_t slave, uint32_t length, uint8_t* buffer) override {
        return driver_.BridgeRead(slave, length, buffer);
    }
    int Write(uint8_t slave, uint32_t length, const uint8_t* data) override {
        return driver_.BridgeWrite(slave, length, data);
    }
    int GetVersion(uint32_t& boardType, uint32_t& firmwareRevision) override {
        uint16_t type = 0;
        uint32_t revision = 0;
        const int status = driver_.BridgeGetVersion(type, revision);
        boardType = type;
        firmwareRevision = revision;
        return status;
    }

private:
    busaccess::BridgeDriver& driver_;
};

} // namespace busgate
