#include "TerovanBridge.h"

namespace terovan {

using namespace u2c;

namespace {
// This library always addresses the bridge's services at the old address.
constexpr uint8_t kService = kOldServiceAddress;
constexpr size_t kPathChars = 512;
} // namespace

TerovanBridge::TerovanBridge(std::shared_ptr<kvusb::Backend> backend)
    : backend_(std::move(backend)) {}

TerovanBridge& Library() {
    static TerovanBridge library;
    return library;
}

bool TerovanBridge::usable(int32_t handle) const {
    return handle == kDeviceHandle && link_.isOpen();
}

void TerovanBridge::clearRecord() {
    link_.detach();
    record_.fileHandle = nullptr;
    record_.interfaceHandle = nullptr;
}

int32_t TerovanBridge::OpenDevice(uint32_t channel, uint32_t clockHz) {
    // One device at a time: the one opened before is closed first.
    if (link_.isOpen())
        CloseDevice(kDeviceHandle);
    std::shared_ptr<kvusb::Backend> backend = backend_ ? backend_ : kvusb::SystemBackend();
    std::vector<std::string> boards = backend->listBoards();
    if (boards.empty() || boards.front().size() + 1 > kPathChars)
        return -1;
    std::unique_ptr<kvusb::BulkPipe> pipe = backend->open(boards.front());
    if (!pipe)
        return -1;
    kvusb::PipeIds ids = pipe->ids();
    record_.fileHandle = pipe.get();
    record_.interfaceHandle = &link_;
    record_.speed = ids.speed;
    record_.bulkInPipe = ids.bulkIn;
    record_.bulkOutPipe = ids.bulkOut;
    record_.interruptPipe = ids.interrupt;
    record_.channel = channel;
    link_.attach(std::move(pipe));
    FrameResult r = link_.statusFrame(OpenFrame(channel, clockHz));
    if (!r.ok() || r.status != kStatusOk) {
        clearRecord();
        return -1;
    }
    return kDeviceHandle;
}

int32_t TerovanBridge::CloseDevice(int32_t handle) {
    if (!usable(handle))
        return 0;
    FrameResult r = link_.statusFrame(CloseFrame(record_.channel), /*readAfterFailedWrite=*/true);
    clearRecord();
    return r.status;
}

int32_t TerovanBridge::SetI2CFreq(int32_t handle, uint32_t clockHz) {
    if (!usable(handle))
        return 0;
    return link_.statusFrame(SetI2CFreqFrame(record_.channel, clockHz)).status;
}

uint32_t TerovanBridge::GetI2CFreq(int32_t handle) {
    uint32_t clock = 0;
    if (!usable(handle) || !link_.valueFrame(GetI2CFreqFrame(record_.channel), clock).ok())
        return 0;
    return clock;
}

int32_t TerovanBridge::IsAlive(int32_t handle, uint8_t slave) {
    if (!usable(handle))
        return 0;
    return link_.statusFrame(IsAliveFrame(record_.channel, slave)).status;
}

int32_t TerovanBridge::Read(int32_t handle, uint8_t slave, uint32_t length, uint8_t* buffer) {
    if (!usable(handle) || (length > 0 && !buffer))
        return 0;
    FrameResult r = link_.readFrame(ReadFrame(record_.channel, slave, length), length, buffer,
                                    /*exact=*/false);
    return r.ok() ? r.status : 0;
}

int32_t TerovanBridge::Write(int32_t handle, uint8_t slave, uint32_t length, const uint8_t* data) {
    if (!usable(handle) || (length > 0 && !data) ||
        !link_.frameFits(WriteFrameSize(kWriteHeaderSize, length)))
        return 0;
    return link_.statusFrame(WriteFrame(record_.channel, slave, data, length)).status;
}

int32_t TerovanBridge::sendService(int32_t handle, const Bytes& packet) {
    return Write(handle, kService, static_cast<uint32_t>(packet.size()), packet.data());
}

int32_t TerovanBridge::readService(int32_t handle, const Bytes& packet, uint8_t* buffer,
                                   uint32_t length) {
    if (sendService(handle, packet) == 0)
        return 0;
    return Read(handle, kService, length, buffer);
}

int32_t TerovanBridge::ReadMem(int32_t handle, uint32_t address, uint8_t* buffer, uint32_t length) {
    if (!usable(handle) || (length > 0 && !buffer))
        return 0;
    return readService(handle, ReadMemPacket(address, length), buffer, length);
}

int32_t TerovanBridge::ReadFlash(int32_t handle, uint32_t address, uint8_t* buffer,
                                 uint32_t length) {
    if (!usable(handle) || (length > 0 && !buffer))
        return 0;
    return readService(handle, ReadFlashPacket(address, length), buffer, length);
}

int32_t TerovanBridge::WriteMem(int32_t handle, uint32_t address, const uint8_t* data,
                                uint32_t length) {
    // A packet whose frame length cannot be described is never built.
    if (!usable(handle) || (length > 0 && !data) ||
        !WriteFrameSize(kWriteHeaderSize + kServiceHeaderSize, length))
        return 0;
    return sendService(handle, WriteMemPacket(address, data, length));
}

int32_t TerovanBridge::WriteFlash(int32_t handle, uint32_t address, const uint8_t* data,
                                  uint32_t length) {
    if (!usable(handle) || (length > 0 && !data) ||
        !WriteFrameSize(kWriteHeaderSize + kServiceHeaderSize, length))
        return 0;
    return sendService(handle, WriteFlashPacket(address, data, length));
}

int32_t TerovanBridge::EraseFlash(int32_t handle, uint32_t address, uint32_t length) {
    if (!usable(handle))
        return 0;
    return sendService(handle, EraseFlashPacket(address, length));
}

int32_t TerovanBridge::GetVersion(int32_t handle, uint32_t* values) {
    if (!values || !usable(handle))
        return 0;
    if (sendService(handle, GetVersionPacket()) == 0)
        return 0;
    uint8_t reply[kVersionReplySize] = {};
    FrameResult r = link_.readFrame(ReadFrame(record_.channel, kService, kVersionReplySize),
                                    kVersionReplySize, reply, /*exact=*/false);
    // Fields are only filled from a whole reply.
    if (!r.ok() || r.status == 0 || r.count != kVersionReplySize)
        return 0;
    VersionReply v = ParseVersionReply(reply);
    values[0] = v.boardType;
    values[1] = v.firmware;
    values[2] = v.word0;
    values[3] = v.word1;
    values[4] = v.word2;
    return 1;
}

} // namespace terovan
