#include "busaccess/BridgeDriver.h"

#include <limits>
#include <thread>

namespace busaccess {

using namespace u2c;

BridgeDriver::BridgeDriver(std::shared_ptr<kvusb::Backend> backend,
                           std::shared_ptr<MessageService> messages)
    : backend_(std::move(backend)), messages_(std::move(messages)) {
    if (!messages_)
        messages_ = std::make_shared<TraceMessageService>();
    sleeper_ = [](uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
}

BridgeDriver::~BridgeDriver() = default;

kvusb::Backend& BridgeDriver::backend() {
    if (!backend_)
        backend_ = kvusb::SystemBackend();
    return *backend_;
}

int BridgeDriver::finish(const FrameResult& r) {
    if (r.error != kErrNone) {
        lastError_ = r.error;
        return 0;
    }
    return r.status;
}

int BridgeDriver::BridgeCountDevices() {
    return static_cast<int>(backend().listBoards().size());
}

int BridgeDriver::BridgeGetDevicePath(uint32_t index, std::string& path) {
    std::vector<std::string> boards = backend().listBoards();
    if (index >= boards.size() || boards[index].size() + 1 > kDevicePathChars)
        return 0;
    path = boards[index];
    return 1;
}

std::unique_ptr<kvusb::BulkPipe> BridgeDriver::BridgeOpenFirstDevice() {
    std::vector<std::string> boards = backend().listBoards();
    if (boards.size() > 1)
        messages_->showInformation(kManyBoardsText, kManyBoardsCaption);
    for (const auto& path : boards) {
        if (path.size() + 1 > kDevicePathChars)
            continue;
        if (auto pipe = backend().open(path))
            return pipe;
    }
    return nullptr;
}

int BridgeDriver::BridgeOpen() {
    if (link_.isOpen())
        BridgeClose();
    std::unique_ptr<kvusb::BulkPipe> pipe = BridgeOpenFirstDevice();
    if (!pipe)
        return 0;
    pipes_ = pipe->ids();
    link_.attach(std::move(pipe));
    channel_ = 0;
    FrameResult r = link_.statusFrame(OpenFrame(channel_, kDefaultI2CClock));
    if (r.error != kErrNone || r.status != kStatusOk) {
        lastError_ = r.error != kErrNone ? r.error : kErrOpenRefused;
        link_.detach();
        pipes_ = {};
        return 0;
    }
    serviceAddress_ = BridgeIsAlive(kServiceAddress) == 1 ? kServiceAddress : kOldServiceAddress;
    return 1;
}

int BridgeDriver::BridgeClose() {
    if (!link_.isOpen()) {
        lastError_ = kErrNotOpen;
        return 0;
    }
    FrameResult r = link_.statusFrame(CloseFrame(channel_), /*readAfterFailedWrite=*/true);
    if (r.error != kErrNone)
        lastError_ = r.error;
    link_.detach();
    pipes_ = {};
    return r.status;
}

int BridgeDriver::BridgeIsAlive(uint8_t slave) {
    return finish(link_.statusFrame(IsAliveFrame(channel_, slave)));
}

int BridgeDriver::BridgeRead(uint8_t slave, uint32_t length, uint8_t* buffer) {
    return finish(link_.readFrame(ReadFrame(channel_, slave, length), length, buffer, false));
}

int BridgeDriver::BridgeWrite(uint8_t slave, uint32_t length, const uint8_t* data) {
    if (!link_.isOpen()) {
        lastError_ = kErrNotOpen;
        return 0;
    }
    FrameResult r;
    if (!link_.frameFits(WriteFrameSize(kWriteHeaderSize, length)))
        r.error = kErrWrite; // nothing goes out
    else
        r = link_.statusFrame(WriteFrame(channel_, slave, data, length));
    if (recorder_)
        recorder_(length, slave, data, r.status);
    return finish(r);
}

int BridgeDriver::BridgeWriteRead(uint8_t slave, uint32_t writeLength, const uint8_t* data,
                                  uint32_t readLength, uint8_t* buffer) {
    if (!link_.isOpen()) {
        lastError_ = kErrNotOpen;
        return 0;
    }
    if (oldFirmware()) {
        // A write, then a read that must bring exactly what was asked for,
        // as the single frame would: a word read short must not be taken
        // for a whole one (a masked write would put it back corrupted).
        int written = BridgeWrite(slave, writeLength, data);
        int read = finish(
            link_.readFrame(ReadFrame(channel_, slave, readLength), readLength, buffer, true));
        return written == 1 && read == 1 ? 1 : 0;
    }
    FrameResult r;
    if (!link_.frameFits(WriteFrameSize(kWriteReadHeaderSize, writeLength)))
        r.error = kErrWrite;
    else
        r = link_.readFrame(WriteReadFrame(channel_, slave, data, writeLength, readLength),
                            readLength, buffer, /*exact=*/true);
    if (recorder_)
        recorder_(writeLength, slave, data, r.status);
    return finish(r);
}

int BridgeDriver::sendPacket(const Bytes& packet) {
    return BridgeWrite(serviceAddress_, static_cast<uint32_t>(packet.size()), packet.data());
}

int BridgeDriver::BridgeReadMem(uint32_t address, uint32_t length, uint8_t* buffer) {
    Bytes packet = ReadMemPacket(address, length);
    return BridgeWriteRead(serviceAddress_, static_cast<uint32_t>(packet.size()), packet.data(),
                           length, buffer);
}

int BridgeDriver::BridgeWriteMem(uint32_t address, uint32_t value) {
    return sendPacket(WriteMemWordPacket(address, value));
}

int BridgeDriver::BridgeWriteMemMasked(uint32_t address, uint32_t mask, uint32_t value) {
    if (link_.isOpen() && oldFirmware()) {
        uint8_t word[4] = {};
        if (BridgeReadMem(address, 4, word) != 1)
            return 0;
        uint32_t merged = (GetLE32(word) & ~mask) | value;
        return BridgeWriteMem(address, merged) == 1 ? 1 : 0;
    }
    return sendPacket(WriteMemMaskedPacket(address, mask, value));
}

int BridgeDriver::BridgeWriteFlash(uint32_t address, const uint8_t* data, uint32_t length) {
    if (!link_.isOpen()) {
        lastError_ = kErrNotOpen;
        return 0;
    }
    // A packet whose frame length cannot be described is never built.
    if (!WriteFrameSize(kWriteHeaderSize + kServiceHeaderSize, length)) {
        lastError_ = kErrWrite;
        return 0;
    }
    return sendPacket(WriteFlashPacket(address, data, length));
}

int BridgeDriver::BridgeEraseFlash(uint32_t address, uint32_t length) {
    return sendPacket(EraseFlashPacket(address, length));
}

int BridgeDriver::BridgeGetVersion(uint16_t& boardType, uint32_t& firmware) {
    boardType = 0;
    firmware = 0;
    uint8_t reply[kVersionReplySize] = {};
    Bytes packet = GetVersionPacket();
    int st = BridgeWriteRead(serviceAddress_, static_cast<uint32_t>(packet.size()), packet.data(),
                             kVersionReplySize, reply);
    if (st == 1) {
        VersionReply v = ParseVersionReply(reply);
        boardType = v.boardType;
        firmware = v.firmware;
    }
    return st;
}

int BridgeDriver::BridgeDelay(uint32_t milliseconds) {
    if (link_.isOpen() && oldFirmware()) {
        sleeper_(milliseconds);
        return 1;
    }
    return sendPacket(DelayPacket(milliseconds));
}

} // namespace busaccess
