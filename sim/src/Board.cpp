#include "sim/Board.h"

#include <algorithm>
#include <cstdio>

namespace u2csim {

using namespace u2c;

namespace {

// Largest memory or reply read the board serves in one go.
constexpr uint32_t kMaxServiceRead = 1u << 16;
// The board's own time: a USB transfer takes one high-speed bus interval,
// an I2C frame its bits at the bus clock (nine a byte with the address,
// plus start and stop).
constexpr uint64_t kUsbTransferUs = 125;
constexpr uint64_t kI2CBitsPerByte = 9;
constexpr uint64_t kI2CStartStopBits = 2;

Bytes StatusReply(uint8_t status) {
    return Bytes{status};
}

Bytes CountReply(uint8_t status, const Bytes& data) {
    Bytes b(5 + data.size());
    b[0] = status;
    PutLE32(&b[1], static_cast<uint32_t>(data.size()));
    std::copy(data.begin(), data.end(), b.begin() + 5);
    return b;
}

// Microcontroller port registers, port n at 0x40 * n.
constexpr uint32_t kPortModeBase = 0x50004000;
constexpr uint32_t kPortOutputBase = 0x50004008;
constexpr uint32_t kPortLevelBase = 0x50004010;
constexpr uint32_t kPortStride = 0x40;
constexpr uint32_t kPorts = 8;
constexpr uint8_t kResetPin = 0x1E;

bool InRange(uint32_t address, uint32_t length, uint32_t size) {
    return address <= size && length <= size - address;
}

} // namespace

std::string FormatTransfer(const TransferRecord& r) {
    std::string s = std::to_string(r.timeUs) + (r.out ? " OUT" : " IN");
    char hex[4];
    for (uint8_t b : r.bytes) {
        std::snprintf(hex, sizeof hex, " %02X", b);
        s += hex;
    }
    return s;
}

Board::Board(BoardConfig config) : config_(config), flash_(config.flashSize, 0xFF) {
    if (config_.packetSize == 0)
        config_.packetSize = 64;
}

void Board::attach(uint8_t address, std::shared_ptr<I2CSlave> slave) {
    std::lock_guard lock(mutex_);
    slaves_[address] = std::move(slave);
}

void Board::attachGated(uint8_t address, std::shared_ptr<I2CSlave> slave, uint8_t pin) {
    std::lock_guard lock(mutex_);
    slaves_[address] = std::move(slave);
    gates_[address] = pin;
}

void Board::setResetListener(std::function<void(bool held)> listener) {
    std::lock_guard lock(mutex_);
    resetListener_ = std::move(listener);
    resetHeld_ = !pinLevelLocked(kResetPin);
}

bool Board::pinLevel(uint8_t pin) const {
    std::lock_guard lock(mutex_);
    return pinLevelLocked(pin);
}

bool Board::pinLevelLocked(uint8_t pin) const {
    const uint32_t port = pin >> 4, bit = pin & 0xF;
    const uint32_t mode = (memWordLocked(kPortModeBase + kPortStride * port) >> (2 * bit)) & 3;
    if (mode == 1 || mode == 2)
        return (memWordLocked(kPortOutputBase + kPortStride * port) >> bit) & 1;
    auto it = config_.pinInputs.find(pin);
    return it != config_.pinInputs.end() && it->second;
}

bool Board::slavePresent(uint8_t slave) const {
    auto it = slaves_.find(slave);
    if (it == slaves_.end())
        return false;
    auto gate = gates_.find(slave);
    return gate == gates_.end() || pinLevelLocked(gate->second);
}

void Board::pinsChanged() {
    const bool held = !pinLevelLocked(kResetPin);
    if (held == resetHeld_)
        return;
    resetHeld_ = held;
    if (resetListener_)
        resetListener_(held);
}

void Board::injectFault(Fault fault, unsigned times) {
    std::lock_guard lock(mutex_);
    if (fault == Fault::unplug) {
        unplugged_ = true;
        open_ = false;
        return;
    }
    for (unsigned i = 0; i < times; ++i)
        faults_.push_back(fault);
}

void Board::clearFaults() {
    std::lock_guard lock(mutex_);
    faults_.clear();
}

bool Board::unplugged() const {
    std::lock_guard lock(mutex_);
    return unplugged_;
}

void Board::replug() {
    std::lock_guard lock(mutex_);
    unplugged_ = false;
}

void Board::setLogSink(std::function<void(const TransferRecord&)> sink) {
    std::lock_guard lock(mutex_);
    sink_ = std::move(sink);
}

std::vector<TransferRecord> Board::log() const {
    std::lock_guard lock(mutex_);
    return {log_.begin(), log_.end()};
}

void Board::clearLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
}

uint8_t Board::serviceAddress() const {
    return config_.oldFirmware ? kOldServiceAddress : kServiceAddress;
}

uint32_t Board::i2cClock() const {
    std::lock_guard lock(mutex_);
    return clock_hz_;
}

bool Board::deviceOpen() const {
    std::lock_guard lock(mutex_);
    return open_;
}

uint64_t Board::nowUs() const {
    std::lock_guard lock(mutex_);
    return clock_.nowUs();
}

void Board::advanceClockUs(uint64_t us) {
    std::lock_guard lock(mutex_);
    clock_.advanceUs(us);
}

uint8_t Board::readMemByte(uint32_t a) const {
    // The pin level registers read the pins.
    const uint32_t port = (a - kPortLevelBase) / kPortStride;
    const uint32_t within = (a - kPortLevelBase) % kPortStride;
    if (a >= kPortLevelBase && port < kPorts && within < 4) {
        uint32_t levels = 0;
        for (uint32_t bit = 0; bit < 16; ++bit)
            levels |= uint32_t{pinLevelLocked(static_cast<uint8_t>(port << 4 | bit))} << bit;
        return static_cast<uint8_t>(levels >> (8 * within));
    }
    auto it = memory_.find(a);
    return it == memory_.end() ? 0 : it->second;
}

uint32_t Board::memWord(uint32_t address) const {
    std::lock_guard lock(mutex_);
    return memWordLocked(address);
}

uint32_t Board::memWordLocked(uint32_t address) const {
    uint32_t v = 0;
    for (uint32_t i = 0; i < 4; ++i)
        v |= uint32_t(readMemByte(address + i)) << (8 * i);
    return v;
}

void Board::setMemWord(uint32_t address, uint32_t value) {
    std::lock_guard lock(mutex_);
    for (uint32_t i = 0; i < 4; ++i)
        memory_[address + i] = static_cast<uint8_t>(value >> (8 * i));
    pinsChanged();
}

Bytes Board::flash(uint32_t address, uint32_t length) const {
    std::lock_guard lock(mutex_);
    if (!InRange(address, length, config_.flashSize))
        return {};
    return Bytes(flash_.begin() + address, flash_.begin() + address + length);
}

void Board::record(bool out, const uint8_t* data, size_t len) {
    TransferRecord r{clock_.nowUs(), out, Bytes(data, data + len)};
    clock_.advanceUs(kUsbTransferUs);
    if (sink_)
        sink_(r);
    log_.push_back(std::move(r));
    if (log_.size() > config_.logLimit)
        log_.pop_front();
}

void Board::busTime(size_t bytes) {
    if (clock_hz_ == 0)
        return;
    const uint64_t bits = (bytes + 1) * kI2CBitsPerByte + kI2CStartStopBits;
    clock_.advanceUs((bits * 1000000 + clock_hz_ - 1) / clock_hz_);
}

bool Board::takeFault(Fault f) {
    auto it = std::find(faults_.begin(), faults_.end(), f);
    if (it == faults_.end())
        return false;
    faults_.erase(it);
    return true;
}

std::vector<Bytes> Board::transfer(const uint8_t* data, size_t len) {
    std::lock_guard lock(mutex_);
    if (unplugged_)
        return {};
    record(true, data, len);
    Reply reply = handleFrame(data, len);
    std::vector<Bytes> packets;
    if (reply.stall)
        return packets;
    if (takeFault(Fault::trailingBytes))
        reply.bytes.insert(reply.bytes.end(), 8, 0xEE);
    for (size_t pos = 0; pos < reply.bytes.size(); pos += config_.packetSize) {
        size_t n = std::min(config_.packetSize, reply.bytes.size() - pos);
        packets.emplace_back(reply.bytes.begin() + pos, reply.bytes.begin() + pos + n);
        record(false, packets.back().data(), n);
    }
    return packets;
}

Board::Reply Board::handleFrame(const uint8_t* f, size_t len) {
    Reply r;
    if (takeFault(Fault::stall)) {
        r.stall = true;
        return r;
    }
    auto status = [&](uint8_t st) {
        if (takeFault(Fault::statusZero))
            st = 0;
        return st;
    };
    auto readReply = [&](uint8_t slave, uint32_t n) {
        std::optional<Bytes> data = i2cRead(slave, std::min(n, kMaxServiceRead));
        if (!data)
            return CountReply(status(0), {});
        if (takeFault(Fault::shortCount) && !data->empty())
            data->pop_back();
        if (takeFault(Fault::oversizedCount))
            data->insert(data->end(), 8, 0xEE);
        return CountReply(status(1), *data);
    };
    if (len == 0) {
        r.bytes = StatusReply(status(0));
        return r;
    }
    switch (f[0]) {
    case BRIDGE_OPEN_DEVICE:
        if (len != kOpenFrameSize) {
            r.bytes = StatusReply(status(0));
            break;
        }
        channel_ = GetLE32(f + 1);
        clock_hz_ = GetLE32(f + 5);
        open_ = true;
        r.bytes = StatusReply(status(1));
        break;
    case BRIDGE_CLOSE_DEVICE:
        open_ = false;
        r.bytes = StatusReply(status(len == kCloseFrameSize ? 1 : 0));
        break;
    case BRIDGE_SET_I2C_FREQ:
        if (len == kSetFreqFrameSize)
            clock_hz_ = GetLE32(f + 5);
        r.bytes = StatusReply(status(len == kSetFreqFrameSize ? 1 : 0));
        break;
    case BRIDGE_GET_I2C_FREQ:
        r.bytes.resize(4);
        PutLE32(r.bytes.data(), clock_hz_);
        break;
    case BRIDGE_IS_ALIVE: {
        bool present =
            len == kIsAliveFrameSize && !takeFault(Fault::nak) &&
            (isServiceAddress(f[5]) || (slavePresent(f[5]) && slaves_.at(f[5])->acknowledges()));
        r.bytes = StatusReply(status(present ? 1 : 0));
        break;
    }
    case BRIDGE_READ:
        if (len != kReadFrameSize) {
            r.bytes = CountReply(status(0), {});
            break;
        }
        r.bytes = readReply(f[5], GetLE32(f + 6));
        break;
    case BRIDGE_WRITE: {
        if (len < kWriteHeaderSize || len - kWriteHeaderSize != GetLE32(f + 6)) {
            r.bytes = StatusReply(status(0));
            break;
        }
        r.bytes = StatusReply(status(i2cWrite(f[5], f + kWriteHeaderSize, len - kWriteHeaderSize)));
        break;
    }
    case BRIDGE_WRITE_READ: {
        if (config_.oldFirmware || len < kWriteReadHeaderSize ||
            len - kWriteReadHeaderSize != GetLE32(f + 6)) {
            r.bytes = CountReply(status(0), {});
            break;
        }
        if (i2cWrite(f[5], f + kWriteReadHeaderSize, len - kWriteReadHeaderSize) != kStatusOk) {
            r.bytes = CountReply(status(0), {});
            break;
        }
        r.bytes = readReply(f[5], GetLE32(f + 10));
        break;
    }
    default:
        r.bytes = StatusReply(status(0));
        break;
    }
    return r;
}

bool Board::isServiceAddress(uint8_t slave) const {
    // Current firmware still answers services at the old address.
    return slave == kOldServiceAddress || (!config_.oldFirmware && slave == kServiceAddress);
}

uint8_t Board::i2cWrite(uint8_t slave, const uint8_t* data, size_t len) {
    busTime(len);
    if (takeFault(Fault::nak))
        return 0;
    if (isServiceAddress(slave))
        return service(data, len);
    if (!slavePresent(slave))
        return 0;
    return slaves_.at(slave)->write(data, len) ? kStatusOk : 0;
}

std::optional<Bytes> Board::i2cRead(uint8_t slave, size_t len) {
    busTime(len);
    if (takeFault(Fault::nak))
        return std::nullopt;
    if (isServiceAddress(slave)) {
        Bytes out(pendingServiceRead_.begin(),
                  pendingServiceRead_.begin() +
                      static_cast<long>(std::min(len, pendingServiceRead_.size())));
        pendingServiceRead_.clear();
        return out;
    }
    if (!slavePresent(slave))
        return std::nullopt;
    return slaves_.at(slave)->read(len);
}

uint8_t Board::service(const uint8_t* p, size_t len) {
    if (len == 0)
        return 0;
    const uint32_t a = len >= 5 ? GetLE32(p + 1) : 0;
    const uint32_t n = len >= 9 ? GetLE32(p + 5) : 0;
    switch (p[0]) {
    case BRIDGE_READ_MEM:
        if (len != 9 || n > kMaxServiceRead)
            return 0;
        pendingServiceRead_.resize(n);
        for (uint32_t i = 0; i < n; ++i)
            pendingServiceRead_[i] = readMemByte(a + i);
        return 1;
    case BRIDGE_WRITE_MEM:
        if (len < kServiceHeaderSize)
            return 0;
        for (size_t i = kServiceHeaderSize; i < len; ++i)
            memory_[a + uint32_t(i - kServiceHeaderSize)] = p[i];
        pinsChanged();
        return 1;
    case BRIDGE_READ_FLASH:
        if (len != 9 || n > kMaxServiceRead || !InRange(a, n, config_.flashSize))
            return 0;
        pendingServiceRead_.assign(flash_.begin() + a, flash_.begin() + a + n);
        return 1;
    case BRIDGE_WRITE_FLASH: {
        if (len < kServiceHeaderSize)
            return 0;
        uint32_t count = static_cast<uint32_t>(len - kServiceHeaderSize);
        if (!InRange(a, count, config_.flashSize))
            return 0;
        if (++flashWrites_ == config_.failFlashWrite)
            return 0;
        // Programming only clears bits; erasing sets them again.
        for (uint32_t i = 0; i < count; ++i)
            flash_[a + i] &= p[kServiceHeaderSize + i];
        return 1;
    }
    case BRIDGE_ERASE_FLASH:
        if (len != 9 || !InRange(a, n, config_.flashSize))
            return 0;
        std::fill(flash_.begin() + a, flash_.begin() + a + n, 0xFF);
        return 1;
    case BRIDGE_GET_VERSION: {
        if (len != 1)
            return 0;
        VersionReply v{config_.versionWords[0], config_.versionWords[1], config_.versionWords[2],
                       config_.boardType, config_.firmware};
        pendingServiceRead_ = EncodeVersionReply(v);
        return 1;
    }
    case BRIDGE_DELAY:
        if (config_.oldFirmware || len != 5)
            return 0;
        clock_.advanceMs(a);
        return 1;
    case BRIDGE_WRITE_MEM_MASKED: {
        if (config_.oldFirmware || len != 14 || p[5] != 4)
            return 0;
        uint32_t mask = GetLE32(p + 6), value = GetLE32(p + 10);
        uint32_t old = 0;
        for (uint32_t i = 0; i < 4; ++i)
            old |= uint32_t(readMemByte(a + i)) << (8 * i);
        uint32_t now = (old & ~mask) | value;
        for (uint32_t i = 0; i < 4; ++i)
            memory_[a + i] = static_cast<uint8_t>(now >> (8 * i));
        pinsChanged();
        return 1;
    }
    default:
        return 0;
    }
}

} // namespace u2csim
