// The USB-to-I2C bridge protocol: frames on the bulk OUT pipe, replies on
// the bulk IN pipe, and the bridge's own services, which travel as the data
// of I2C writes and reads addressed to the service address.
//
// Every multi-byte field is little-endian and fields follow one another
// without gaps. This header is shared by the bus library, the TerovanU2C
// library and the simulated board.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace u2c {

// Frames (first byte on the OUT pipe).
enum Command : uint8_t {
    BRIDGE_OPEN_DEVICE = 0xC0,
    BRIDGE_CLOSE_DEVICE = 0xC1,
    BRIDGE_SET_I2C_FREQ = 0xC2,
    BRIDGE_GET_I2C_FREQ = 0xC3,
    BRIDGE_IS_ALIVE = 0xC4,
    BRIDGE_READ = 0xC5,
    BRIDGE_WRITE = 0xC6,
    BRIDGE_WRITE_READ = 0xC7,
};

// Services (first data byte of a write to the service address).
enum Service : uint8_t {
    BRIDGE_READ_MEM = 0xD0,
    BRIDGE_WRITE_MEM = 0xD1,
    BRIDGE_READ_FLASH = 0xD2,
    BRIDGE_WRITE_FLASH = 0xD3,
    BRIDGE_ERASE_FLASH = 0xD4,
    BRIDGE_GET_VERSION = 0xD5,
    BRIDGE_DELAY = 0xD6,
    BRIDGE_WRITE_MEM_MASKED = 0xD9,
};

constexpr uint8_t kServiceAddress = 0x80;    // current bridge firmware
constexpr uint8_t kOldServiceAddress = 0x31; // old bridge firmware
constexpr uint8_t kNoServiceAddress = 0xFF;  // before the first open
constexpr uint8_t kStatusOk = 1;
constexpr uint32_t kDefaultI2CClock = 100000;
constexpr uint32_t kMaxBusFrame = 1024;

// Sizes of the fixed parts of the frames.
constexpr size_t kOpenFrameSize = 9;
constexpr size_t kCloseFrameSize = 4; // command and the three low channel bytes
constexpr size_t kSetFreqFrameSize = 9;
constexpr size_t kGetFreqFrameSize = 4;
constexpr size_t kIsAliveFrameSize = 6;
constexpr size_t kReadFrameSize = 10;
constexpr size_t kWriteHeaderSize = 10;
constexpr size_t kWriteReadHeaderSize = 14;
constexpr size_t kServiceHeaderSize = 5; // service byte and 32-bit address
constexpr size_t kVersionReplySize = 18;

using Bytes = std::vector<uint8_t>;

inline void PutLE16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint16_t GetLE16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t GetLE32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}

// Whole frame size of a write (or write-then-read) of n data bytes, or
// nothing when it does not fit in a 32-bit length.
std::optional<uint32_t> WriteFrameSize(size_t header, size_t n);

// Frame builders. Each returns the exact bytes of one OUT transfer.
Bytes OpenFrame(uint32_t channel, uint32_t clockHz);
Bytes CloseFrame(uint32_t channel);
Bytes SetI2CFreqFrame(uint32_t channel, uint32_t clockHz);
Bytes GetI2CFreqFrame(uint32_t channel);
Bytes IsAliveFrame(uint32_t channel, uint8_t slave);
Bytes ReadFrame(uint32_t channel, uint8_t slave, uint32_t length);
Bytes WriteFrame(uint32_t channel, uint8_t slave, const uint8_t* data, uint32_t n);
Bytes WriteReadFrame(uint32_t channel, uint8_t slave, const uint8_t* data, uint32_t n,
                     uint32_t readLength);

// Service packets (the data of a write to the service address).
Bytes ReadMemPacket(uint32_t address, uint32_t length);
Bytes WriteMemPacket(uint32_t address, const uint8_t* data, uint32_t n);
Bytes WriteMemWordPacket(uint32_t address, uint32_t value);
Bytes ReadFlashPacket(uint32_t address, uint32_t length);
Bytes WriteFlashPacket(uint32_t address, const uint8_t* data, uint32_t n);
Bytes EraseFlashPacket(uint32_t address, uint32_t length);
Bytes GetVersionPacket();
Bytes DelayPacket(uint32_t milliseconds);
Bytes WriteMemMaskedPacket(uint32_t address, uint32_t mask, uint32_t value);

// The 18-byte version reply.
struct VersionReply {
    uint32_t word0 = 0;
    uint32_t word1 = 0;
    uint32_t word2 = 0;
    uint16_t boardType = 0; // at byte 12
    uint32_t firmware = 0;  // at byte 14
};
VersionReply ParseVersionReply(const uint8_t* reply);
Bytes EncodeVersionReply(const VersionReply& v);

// Board types of the version reply.
enum BoardType : uint16_t {
    kEvaluationBoard = 1,
    kUtilityBoard = 2,
    kSoundbar = 3,
    kPowerEvaluationBoard = 4,
};

} // namespace u2c
