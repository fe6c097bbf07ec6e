// The simulated DSP chip on the board's I2C bus (address 0x73).
//
// The chip takes frames of 3-byte groups, most significant byte first:
// a command frame is {parameter high byte, command, parameter low byte}.
// Commands are dispatched through a table that grows as the model grows;
// a read command arms a 3-byte reply that the next I2C read returns.
#pragma once

#include "sim/Board.h"

#include <deque>
#include <functional>
#include <map>

namespace u2csim {

constexpr uint8_t kChipAddress = 0x73;
constexpr uint8_t kChipVersionCommand = 0xB8;
constexpr uint8_t kChipSubVersionCommand = 0xB7;

struct ChipConfig {
    uint32_t version = 0x6000;
    uint32_t subVersion = 0x0505;
};

class Chip : public I2CSlave {
public:
    using ReadHandler = std::function<uint32_t(uint16_t parameter)>;
    using CommandHandler = std::function<void(uint16_t parameter)>;

    explicit Chip(ChipConfig config = {});

    bool write(const uint8_t* data, size_t len) override;
    std::optional<Bytes> read(size_t len) override;

    // A command whose 24-bit answer the next read returns.
    void onRead(uint8_t command, ReadHandler handler);
    // A command with an effect of its own.
    void onCommand(uint8_t command, CommandHandler handler);
    // Every frame that is not a table command (data frames, longer frames)
    // goes to this handler when one is set.
    void onFrame(std::function<void(const uint8_t* data, size_t len)> handler);

    // The frames the chip received, as written (the newest 65536).
    std::vector<Bytes> frames() const;
    const ChipConfig& config() const { return config_; }

protected:
    ChipConfig config_;

private:
    mutable std::mutex mutex_;
    std::map<uint8_t, ReadHandler> reads_;
    std::map<uint8_t, CommandHandler> commands_;
    std::function<void(const uint8_t*, size_t)> frameHandler_;
    std::deque<Bytes> frames_;
    std::optional<uint32_t> reply_;
};

} // namespace u2csim
