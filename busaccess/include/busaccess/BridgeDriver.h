// The bus library's driver of the USB-to-I2C bridge: finding the board,
// opening it, and one operation per frame. The driver has no lock of its
// own; its caller serialises every frame and every sequence of frames.
#pragma once

#include "busaccess/FrameLink.h"
#include "busaccess/MessageService.h"

#include <functional>
#include <memory>
#include <string>

namespace busaccess {

constexpr const char* kManyBoardsText =
    "Found more then one TerovanU2C devices connected, driver will open the first available.";
constexpr const char* kManyBoardsCaption = "TerovanU2C Device Driver";
constexpr size_t kDevicePathChars = 512;

class BridgeDriver {
public:
    // (length, slave address, data, status) of every I2C write attempt.
    using TrafficRecorder =
        std::function<void(uint32_t length, uint8_t slave, const uint8_t* data, uint8_t status)>;
    using Sleeper = std::function<void(uint32_t milliseconds)>;

    // Null arguments pick the system's boards and the trace-line messages.
    explicit BridgeDriver(std::shared_ptr<kvusb::Backend> backend = nullptr,
                          std::shared_ptr<MessageService> messages = nullptr);
    ~BridgeDriver();

    void setTrafficRecorder(TrafficRecorder recorder) { recorder_ = std::move(recorder); }
    void setSleeper(Sleeper sleeper) { sleeper_ = std::move(sleeper); }

    int BridgeCountDevices();
    int BridgeGetDevicePath(uint32_t index, std::string& path);
    std::unique_ptr<kvusb::BulkPipe> BridgeOpenFirstDevice();
    int BridgeOpen();
    int BridgeClose();
    int BridgeIsAlive(uint8_t slave);
    int BridgeRead(uint8_t slave, uint32_t length, uint8_t* buffer);
    int BridgeWrite(uint8_t slave, uint32_t length, const uint8_t* data);
    int BridgeWriteRead(uint8_t slave, uint32_t writeLength, const uint8_t* data,
                        uint32_t readLength, uint8_t* buffer);
    int BridgeReadMem(uint32_t address, uint32_t length, uint8_t* buffer);
    int BridgeWriteMem(uint32_t address, uint32_t value);
    int BridgeWriteMemMasked(uint32_t address, uint32_t mask, uint32_t value);
    int BridgeWriteFlash(uint32_t address, const uint8_t* data, uint32_t length);
    int BridgeEraseFlash(uint32_t address, uint32_t length);
    int BridgeGetVersion(uint16_t& boardType, uint32_t& firmware);
    int BridgeDelay(uint32_t milliseconds);

    bool isOpen() const { return link_.isOpen(); }
    uint8_t serviceAddress() const { return serviceAddress_; }
    uint32_t lastError() const { return lastError_; }
    kvusb::PipeIds pipes() const { return pipes_; }
    uint32_t channel() const { return channel_; }

private:
    kvusb::Backend& backend();
    int finish(const u2c::FrameResult& r);
    bool oldFirmware() const { return serviceAddress_ == u2c::kOldServiceAddress; }
    int sendPacket(const u2c::Bytes& packet);

    std::shared_ptr<kvusb::Backend> backend_;
    std::shared_ptr<MessageService> messages_;
    TrafficRecorder recorder_;
    Sleeper sleeper_;
    u2c::FrameLink link_{u2c::kBusLibraryProfile};
    kvusb::PipeIds pipes_;
    uint32_t channel_ = 0;
    uint8_t serviceAddress_ = u2c::kNoServiceAddress;
    uint32_t lastError_ = 0;
};

} // namespace busaccess
