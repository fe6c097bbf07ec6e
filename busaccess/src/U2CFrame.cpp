#include "busaccess/U2CFrame.h"

#include <cstring>
#include <limits>

namespace u2c {
namespace {

// Appends little-endian fields to a frame under construction.
class Builder {
public:
    explicit Builder(size_t reserve) { b_.reserve(reserve); }
    Builder& u8(uint8_t v) {
        b_.push_back(v);
        return *this;
    }
    Builder& u32(uint32_t v) {
        uint8_t t[4];
        PutLE32(t, v);
        b_.insert(b_.end(), t, t + 4);
        return *this;
    }
    Builder& u24(uint32_t v) { // the three low-order bytes
        uint8_t t[4];
        PutLE32(t, v);
        b_.insert(b_.end(), t, t + 3);
        return *this;
    }
    Builder& bytes(const uint8_t* p, size_t n) {
        if (n)
            b_.insert(b_.end(), p, p + n);
        return *this;
    }
    Bytes take() { return std::move(b_); }

private:
    Bytes b_;
};

Bytes AddressLength(uint8_t service, uint32_t address, uint32_t length) {
    return Builder(9).u8(service).u32(address).u32(length).take();
}

Bytes AddressData(uint8_t service, uint32_t address, const uint8_t* data, uint32_t n) {
    return Builder(kServiceHeaderSize + n).u8(service).u32(address).bytes(data, n).take();
}

} // namespace

std::optional<uint32_t> WriteFrameSize(size_t header, size_t n) {
    if (n > std::numeric_limits<uint32_t>::max() - header)
        return std::nullopt;
    return static_cast<uint32_t>(header + n);
}

Bytes OpenFrame(uint32_t channel, uint32_t clockHz) {
    return Builder(kOpenFrameSize).u8(BRIDGE_OPEN_DEVICE).u32(channel).u32(clockHz).take();
}

Bytes CloseFrame(uint32_t channel) {
    return Builder(kCloseFrameSize).u8(BRIDGE_CLOSE_DEVICE).u24(channel).take();
}

Bytes SetI2CFreqFrame(uint32_t channel, uint32_t clockHz) {
    return Builder(kSetFreqFrameSize).u8(BRIDGE_SET_I2C_FREQ).u32(channel).u32(clockHz).take();
}

Bytes GetI2CFreqFrame(uint32_t channel) {
    return Builder(kGetFreqFrameSize).u8(BRIDGE_GET_I2C_FREQ).u24(channel).take();
}

Bytes IsAliveFrame(uint32_t channel, uint8_t slave) {
    return Builder(kIsAliveFrameSize).u8(BRIDGE_IS_ALIVE).u32(channel).u8(slave).take();
}

Bytes ReadFrame(uint32_t channel, uint8_t slave, uint32_t length) {
    return Builder(kReadFrameSize).u8(BRIDGE_READ).u32(channel).u8(slave).u32(length).take();
}

Bytes WriteFrame(uint32_t channel, uint8_t slave, const uint8_t* data, uint32_t n) {
    return Builder(kWriteHeaderSize + n)
        .u8(BRIDGE_WRITE)
        .u32(channel)
        .u8(slave)
        .u32(n)
        .bytes(data, n)
        .take();
}

Bytes WriteReadFrame(uint32_t channel, uint8_t slave, const uint8_t* data, uint32_t n,
                     uint32_t readLength) {
    return Builder(kWriteReadHeaderSize + n)
        .u8(BRIDGE_WRITE_READ)
        .u32(channel)
        .u8(slave)
        .u32(n)
        .u32(readLength)
        .bytes(data, n)
        .take();
}

Bytes ReadMemPacket(uint32_t address, uint32_t length) {
    return AddressLength(BRIDGE_READ_MEM, address, length);
}

Bytes WriteMemPacket(uint32_t address, const uint8_t* data, uint32_t n) {
    return AddressData(BRIDGE_WRITE_MEM, address, data, n);
}

Bytes WriteMemWordPacket(uint32_t address, uint32_t value) {
    return AddressLength(BRIDGE_WRITE_MEM, address, value);
}

Bytes ReadFlashPacket(uint32_t address, uint32_t length) {
    return AddressLength(BRIDGE_READ_FLASH, address, length);
}

Bytes WriteFlashPacket(uint32_t address, const uint8_t* data, uint32_t n) {
    return AddressData(BRIDGE_WRITE_FLASH, address, data, n);
}

Bytes EraseFlashPacket(uint32_t address, uint32_t length) {
    return AddressLength(BRIDGE_ERASE_FLASH, address, length);
}

Bytes GetVersionPacket() {
    return Bytes{BRIDGE_GET_VERSION};
}

Bytes DelayPacket(uint32_t milliseconds) {
    return Builder(5).u8(BRIDGE_DELAY).u32(milliseconds).take();
}

Bytes WriteMemMaskedPacket(uint32_t address, uint32_t mask, uint32_t value) {
    return Builder(14).u8(BRIDGE_WRITE_MEM_MASKED).u32(address).u8(4).u32(mask).u32(value).take();
}

VersionReply ParseVersionReply(const uint8_t* reply) {
    VersionReply v;
    v.word0 = GetLE32(reply);
    v.word1 = GetLE32(reply + 4);
    v.word2 = GetLE32(reply + 8);
    v.boardType = GetLE16(reply + 12);
    v.firmware = GetLE32(reply + 14);
    return v;
}

Bytes EncodeVersionReply(const VersionReply& v) {
    Bytes b(kVersionReplySize);
    PutLE32(&b[0], v.word0);
    PutLE32(&b[4], v.word1);
    PutLE32(&b[8], v.word2);
    PutLE16(&b[12], v.boardType);
    PutLE32(&b[14], v.firmware);
    return b;
}

} // namespace u2c
