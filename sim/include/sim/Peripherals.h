// The evaluation board's peripherals on the simulated bridge's I2C bus: the
// configuration EEPROM at 0x50 upwards, the amplifier at 0x1B and the
// S/PDIF transmitter and receiver. The amplifier and the S/PDIF devices
// answer only while their enable pin is high.
#pragma once

#include "sim/Board.h"
#include "sim/ChipModel.h"

#include <array>
#include <map>
#include <memory>
#include <mutex>

namespace u2csim {

constexpr uint8_t kEepromAddress = 0x50;
constexpr uint32_t kEepromBlockSize = 256;
constexpr uint8_t kAmplifierAddress = 0x1B;
constexpr uint8_t kSpdifTxAddress = 0x16;
constexpr uint8_t kSpdifRxAddress = 0x13;
constexpr uint8_t kSpdifRxAltAddress = 0x17;
// Microcontroller pins (port in the high nibble, bit in the low nibble).
constexpr uint8_t kPinChipReset = 0x1E;
constexpr uint8_t kPinRefStrap = 0x1B;
constexpr uint8_t kPinI2cmsStrap = 0x45;
constexpr uint8_t kPinAmplifierEnable = 0x18;
constexpr uint8_t kPinSpdifPower = 0x1D;

struct EepromConfig {
    uint32_t blocks = 8;          // 256-byte blocks at 0x50 upwards (0: none)
    uint32_t busyPolls = 2;       // accesses NAKed after each data write
    bool writeProtect = false;    // data writes NAKed, nothing stored
    bool neverReadyAgain = false; // after the first data write it never answers
};

// A serial EEPROM of one or more 256-byte blocks with one address counter:
// a 1-byte write sets block and word address, longer writes store data,
// sequential reads run on across blocks and wrap at the size.
class Eeprom : public std::enable_shared_from_this<Eeprom> {
public:
    explicit Eeprom(EepromConfig config);
    // The slave that answers for one block.
    std::shared_ptr<I2CSlave> block(uint32_t index);
    uint32_t size() const { return static_cast<uint32_t>(data_.size()); }
    Bytes contents() const;
    void setContents(uint32_t offset, const Bytes& bytes);
    void setWriteProtect(bool on);
    void setNeverReadyAgain(bool on);

private:
    class Block;
    bool write(uint32_t block, const uint8_t* data, size_t len);
    std::optional<Bytes> read(size_t len);
    bool busy(); // takes one poll

    mutable std::mutex mutex_;
    EepromConfig config_;
    Bytes data_;
    uint32_t counter_ = 0;
    uint32_t busy_ = 0;
    bool dead_ = false;
};

// A device of 8-bit register numbers: a write {register, bytes...} stores
// the bytes as that register's value and points at it; a read returns the
// value of the register pointed at (padded with 0).
class RegisterDevice : public I2CSlave {
public:
    bool write(const uint8_t* data, size_t len) override;
    std::optional<Bytes> read(size_t len) override;
    void set(uint8_t reg, Bytes value);
    void set(uint8_t reg, uint8_t value) { set(reg, Bytes{value}); }
    Bytes get(uint8_t reg) const;
    // Every write as it arrived, for tests.
    std::vector<Bytes> writes() const;

protected:
    virtual void written(uint8_t /*reg*/) {}
    virtual void beforeRead(uint8_t /*reg*/) {}
    mutable std::mutex mutex_;
    std::map<uint8_t, Bytes> regs_;

private:
    uint8_t pointer_ = 0;
    std::vector<Bytes> writes_;
};

struct AmplifierConfig {
    uint8_t id = 0x50;
    uint8_t clock = 0x6C;
    uint8_t error = 0;
    int readyAfterReads = 1; // reads of 0x1B before bit 6 is set (-1: never)
};

// The amplifier: identification in register 1, clock control in 0, error
// status in 2; writing 0x80 to 0x1B starts its set-up, which sets bit 6 of
// 0x1B a number of reads later.
class Amplifier final : public RegisterDevice {
public:
    explicit Amplifier(AmplifierConfig config = {});

protected:
    void written(uint8_t reg) override;
    void beforeRead(uint8_t reg) override;

private:
    AmplifierConfig config_;
    int countdown_ = -1;
};

struct SpdifConfig {
    bool tx = false;
    uint8_t rxAddress = 0;                  // 0x13, 0x17, or 0 for no receiver
    std::map<uint8_t, uint8_t> rxRegisters; // status registers (0x0A-0x0D, 0x18)
};

struct PeripheralConfig {
    EepromConfig eeprom;
    bool amplifier = false;
    AmplifierConfig amplifierConfig;
    SpdifConfig spdif;
};

struct Peripherals {
    std::shared_ptr<Eeprom> eeprom;
    std::shared_ptr<Amplifier> amplifier;
    std::shared_ptr<RegisterDevice> spdifTx;
    std::shared_ptr<RegisterDevice> spdifRx;
};

// Puts the configured peripherals on the board's bus.
Peripherals AttachPeripherals(Board& board, const PeripheralConfig& config);
// Wires the chip's reset to the board's nRESET pin: low holds the chip in
// reset, rising resets it.
void WireChipReset(Board& board, std::shared_ptr<ChipModel> chip);

} // namespace u2csim
