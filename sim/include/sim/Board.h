// The simulated USB-to-I2C bridge board: the firmware side of the bridge
// frame protocol, its services at the service address, memory and flash,
// the I2C slaves on its bus, fault injection, a virtual clock and a log of
// every transfer. The model does no I/O; transports wrap it.
#pragma once

#include "busaccess/U2CFrame.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace u2csim {

using u2c::Bytes;

class VirtualClock {
public:
    uint64_t nowUs() const { return us_; }
    void advanceUs(uint64_t us) { us_ += us; }
    void advanceMs(uint64_t ms) { us_ += ms * 1000; }

private:
    uint64_t us_ = 0;
};

// A device on the board's I2C bus.
class I2CSlave {
public:
    virtual ~I2CSlave() = default;
    // An I2C write to this slave; false when it does not acknowledge.
    virtual bool write(const uint8_t* data, size_t len) = 0;
    // An I2C read of `len` bytes; nothing when it does not acknowledge.
    virtual std::optional<Bytes> read(size_t len) = 0;
    // Whether the slave answers its address at all (the is-alive probe).
    virtual bool acknowledges() const { return true; }
};

enum class Fault {
    nak,            // the next I2C frame is not acknowledged (status 0, no data)
    statusZero,     // the next frame's status byte is 0, the rest of the reply as usual
    shortCount,     // the next read reply announces and carries one byte less
    oversizedCount, // the next read reply announces and carries 8 bytes more
    stall,          // the next frame gets no reply at all
    unplug,         // the board is gone until replug()
    trailingBytes,  // the next reply carries 8 bytes more than its frame says
};

struct TransferRecord {
    uint64_t timeUs = 0;
    bool out = true; // host to board
    Bytes bytes;
};

// "<microseconds> OUT|IN <hex bytes>"
std::string FormatTransfer(const TransferRecord& r);

struct BoardConfig {
    uint16_t boardType = u2c::kEvaluationBoard;
    uint32_t firmware = 0x00010004;
    bool oldFirmware = false; // services at 0x31 only, without C7, D6 and D9
    uint32_t versionWords[3] = {0x00000101, 0x20260101, 0x00000000};
    size_t packetSize = 64;
    uint32_t flashSize = 256 * 1024;
    size_t logLimit = 65536; // newest transfers kept in memory
    // Levels of microcontroller pins while they are inputs (pin byte: port
    // in the high nibble, bit in the low nibble); unlisted pins read 0. The
    // chip's nRESET (0x1E) is pulled high.
    std::map<uint8_t, bool> pinInputs{{0x1E, true}};
    uint32_t failFlashWrite = 0; // the n-th flash write fails (0: none)
};

class Board {
public:
    explicit Board(BoardConfig config = {});

    void attach(uint8_t address, std::shared_ptr<I2CSlave> slave);
    // A slave that answers only while a microcontroller pin is high.
    void attachGated(uint8_t address, std::shared_ptr<I2CSlave> slave, uint8_t pin);
    // Called with true when the chip's nRESET pin goes low, false when it
    // rises again.
    void setResetListener(std::function<void(bool held)> listener);
    // A pin's level: its output bit in modes 1 and 2, else its input level.
    bool pinLevel(uint8_t pin) const;

    // One OUT transfer (one frame); returns the IN packets of the reply,
    // none when the board stalls or is unplugged.
    std::vector<Bytes> transfer(const uint8_t* data, size_t len);

    void injectFault(Fault fault, unsigned times = 1);
    void clearFaults();
    bool unplugged() const;
    void replug();

    // Called with every transfer as it happens (the daemon's log file).
    void setLogSink(std::function<void(const TransferRecord&)> sink);
    std::vector<TransferRecord> log() const;
    void clearLog();

    uint8_t serviceAddress() const;
    uint32_t i2cClock() const;
    bool deviceOpen() const;
    uint64_t nowUs() const;
    // Time passing without traffic (a host waiting out a time-out).
    void advanceClockUs(uint64_t us);

    uint32_t memWord(uint32_t address) const;
    void setMemWord(uint32_t address, uint32_t value);
    Bytes flash(uint32_t address, uint32_t length) const;
    const BoardConfig& config() const { return config_; }

private:
    struct Reply {
        Bytes bytes;
        bool stall = false;
    };

    Reply handleFrame(const uint8_t* f, size_t len);
    uint8_t i2cWrite(uint8_t slave, const uint8_t* data, size_t len);
    std::optional<Bytes> i2cRead(uint8_t slave, size_t len);
    bool isServiceAddress(uint8_t slave) const;
    uint8_t service(const uint8_t* p, size_t len);
    bool takeFault(Fault f);
    // Logs a transfer at the board's time, which then moves on by the
    // transfer's own time.
    void record(bool out, const uint8_t* data, size_t len);
    // The time an I2C frame of `bytes` data bytes takes on the bus.
    void busTime(size_t bytes);
    uint8_t readMemByte(uint32_t a) const;
    uint32_t memWordLocked(uint32_t address) const;
    bool pinLevelLocked(uint8_t pin) const;
    bool slavePresent(uint8_t slave) const;
    void pinsChanged();

    mutable std::mutex mutex_;
    BoardConfig config_;
    VirtualClock clock_;
    std::map<uint8_t, std::shared_ptr<I2CSlave>> slaves_;
    std::map<uint8_t, uint8_t> gates_; // slave address -> enable pin
    std::function<void(bool)> resetListener_;
    bool resetHeld_ = false;
    uint32_t flashWrites_ = 0;
    std::unordered_map<uint32_t, uint8_t> memory_;
    Bytes flash_;
    Bytes pendingServiceRead_;
    std::deque<Fault> faults_;
    bool unplugged_ = false;
    bool open_ = false;
    uint32_t channel_ = 0;
    uint32_t clock_hz_ = u2c::kDefaultI2CClock;
    std::deque<TransferRecord> log_;
    std::function<void(const TransferRecord&)> sink_;
};

} // namespace u2csim
