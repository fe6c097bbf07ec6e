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
    int WriteRead(uint8_t slave, uint32_t writeLength, const uint8_t* data, uint32_t readLength,
                  uint8_t* buffer) override {
        return driver_.BridgeWriteRead(slave, writeLength, data, readLength, buffer);
    }
    int ReadMem(uint32_t address, uint32_t length, uint8_t* buffer) override {
        return driver_.BridgeReadMem(address, length, buffer);
    }
    int WriteMem(uint32_t address, uint32_t value) override {
        return driver_.BridgeWriteMem(address, value);
    }
    int WriteMemMasked(uint32_t address, uint32_t mask, uint32_t value) override {
        return driver_.BridgeWriteMemMasked(address, mask, value);
    }
    int WriteFlash(uint32_t address, const uint8_t* data, uint32_t length) override {
        return driver_.BridgeWriteFlash(address, data, length);
    }
    int EraseFlash(uint32_t address, uint32_t length) override {
        return driver_.BridgeEraseFlash(address, length);
    }
    int Delay(uint32_t milliseconds) override { return driver_.BridgeDelay(milliseconds); }
    uint8_t ServiceAddress() const override { return driver_.serviceAddress(); }
    void SetTrafficRecorder(TrafficRecorder recorder) override {
        driver_.setTrafficRecorder(std::move(recorder));
    }

private:
    busaccess::BridgeDriver& driver_;
};

} // namespace busgate
