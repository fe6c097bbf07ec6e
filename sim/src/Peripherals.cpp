#include "sim/Peripherals.h"

#include <algorithm>
#include <limits>

namespace u2csim {

namespace {

constexpr uint32_t kForever = std::numeric_limits<uint32_t>::max();
constexpr uint8_t kIdRegister = 0x7F;
constexpr uint8_t kTxId = 0xE2;
constexpr uint8_t kRxId = 0x2F;
constexpr uint8_t kAmpStart = 0x1B;
constexpr uint8_t kAmpReady = 0x40;

} // namespace

class Eeprom::Block final : public I2CSlave {
public:
    Block(std::shared_ptr<Eeprom> eeprom, uint32_t index)
        : eeprom_(std::move(eeprom)), index_(index) {}
    bool write(const uint8_t* data, size_t len) override {
        return eeprom_->write(index_, data, len);
    }
    std::optional<Bytes> read(size_t len) override { return eeprom_->read(len); }
    bool acknowledges() const override {
        std::lock_guard lock(eeprom_->mutex_);
        return eeprom_->busy_ == 0;
    }

private:
    std::shared_ptr<Eeprom> eeprom_;
    uint32_t index_;
};

Eeprom::Eeprom(EepromConfig config)
    : config_(config), data_(std::min<uint32_t>(config.blocks, 8) * kEepromBlockSize, 0xFF) {}

std::shared_ptr<I2CSlave> Eeprom::block(uint32_t index) {
    return std::make_shared<Block>(shared_from_this(), index);
}

Bytes Eeprom::contents() const {
    std::lock_guard lock(mutex_);
    return data_;
}

void Eeprom::setContents(uint32_t offset, const Bytes& bytes) {
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < bytes.size() && offset + i < data_.size(); ++i)
        data_[offset + i] = bytes[i];
}

void Eeprom::setWriteProtect(bool on) {
    std::lock_guard lock(mutex_);
    config_.writeProtect = on;
}

void Eeprom::setNeverReadyAgain(bool on) {
    std::lock_guard lock(mutex_);
    config_.neverReadyAgain = on;
}

bool Eeprom::busy() {
    if (busy_ == 0)
        return false;
    if (busy_ != kForever)
        --busy_;
    return true;
}

bool Eeprom::write(uint32_t block, const uint8_t* data, size_t len) {
    std::lock_guard lock(mutex_);
    if (busy() || len == 0 || data_.empty())
        return false;
    if (len > 1 && config_.writeProtect)
        return false;
    counter_ = (block * kEepromBlockSize + data[0]) % size();
    if (len == 1)
        return true;
    for (size_t i = 1; i < len; ++i) {
        data_[counter_] = data[i];
        counter_ = (counter_ + 1) % size();
    }
    busy_ = config_.neverReadyAgain ? kForever : config_.busyPolls;
    return true;
}

std::optional<Bytes> Eeprom::read(size_t len) {
    std::lock_guard lock(mutex_);
    if (busy() || data_.empty())
        return std::nullopt;
    Bytes out(len);
    for (auto& b : out) {
        b = data_[counter_];
        counter_ = (counter_ + 1) % size();
    }
    return out;
}

bool RegisterDevice::write(const uint8_t* data, size_t len) {
    if (len == 0)
        return false;
    uint8_t reg = 0;
    {
        std::lock_guard lock(mutex_);
        writes_.emplace_back(data, data + len);
        pointer_ = reg = data[0];
        if (len == 1)
            return true;
        regs_[reg] = Bytes(data + 1, data + len);
    }
    written(reg);
    return true;
}

std::optional<Bytes> RegisterDevice::read(size_t len) {
    uint8_t reg = 0;
    {
        std::lock_guard lock(mutex_);
        reg = pointer_;
    }
    beforeRead(reg);
    std::lock_guard lock(mutex_);
    Bytes out(len, 0);
    auto it = regs_.find(reg);
    if (it != regs_.end())
        std::copy_n(it->second.begin(), std::min(len, it->second.size()), out.begin());
    return out;
}

void RegisterDevice::set(uint8_t reg, Bytes value) {
    std::lock_guard lock(mutex_);
    regs_[reg] = std::move(value);
}

Bytes RegisterDevice::get(uint8_t reg) const {
    std::lock_guard lock(mutex_);
    auto it = regs_.find(reg);
    return it == regs_.end() ? Bytes{} : it->second;
}

std::vector<Bytes> RegisterDevice::writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

Amplifier::Amplifier(AmplifierConfig config) : config_(config) {
    regs_[0x00] = {config.clock};
    regs_[0x01] = {config.id};
    regs_[0x02] = {config.error};
}

void Amplifier::written(uint8_t reg) {
    std::lock_guard lock(mutex_);
    if (reg == kAmpStart && !regs_[reg].empty() && regs_[reg][0] == 0x80) {
        countdown_ = config_.readyAfterReads;
        regs_[reg][0] &= static_cast<uint8_t>(~kAmpReady);
    }
}

void Amplifier::beforeRead(uint8_t reg) {
    std::lock_guard lock(mutex_);
    if (reg != kAmpStart || countdown_ < 0)
        return;
    if (countdown_ > 0)
        --countdown_;
    if (countdown_ == 0) {
        regs_[reg].resize(1);
        regs_[reg][0] |= kAmpReady;
        countdown_ = -1;
    }
}

Peripherals AttachPeripherals(Board& board, const PeripheralConfig& config) {
    Peripherals p;
    if (config.eeprom.blocks > 0) {
        p.eeprom = std::make_shared<Eeprom>(config.eeprom);
        const uint32_t blocks = std::min<uint32_t>(config.eeprom.blocks, 8);
        for (uint32_t i = 0; i < blocks; ++i)
            board.attach(static_cast<uint8_t>(kEepromAddress + i), p.eeprom->block(i));
    }
    if (config.amplifier) {
        p.amplifier = std::make_shared<Amplifier>(config.amplifierConfig);
        board.attachGated(kAmplifierAddress, p.amplifier, kPinAmplifierEnable);
    }
    if (config.spdif.tx) {
        p.spdifTx = std::make_shared<RegisterDevice>();
        p.spdifTx->set(kIdRegister, kTxId);
        board.attachGated(kSpdifTxAddress, p.spdifTx, kPinSpdifPower);
    }
    if (config.spdif.rxAddress != 0) {
        p.spdifRx = std::make_shared<RegisterDevice>();
        p.spdifRx->set(kIdRegister, kRxId);
        for (const auto& [reg, value] : config.spdif.rxRegisters)
            p.spdifRx->set(reg, value);
        board.attachGated(config.spdif.rxAddress, p.spdifRx, kPinSpdifPower);
    }
    return p;
}

void WireChipReset(Board& board, std::shared_ptr<ChipModel> chip) {
    board.setResetListener([chip](bool held) {
        if (held)
            chip->setHeldInReset(true);
        else
            chip->releaseFromReset();
    });
}

} // namespace u2csim
