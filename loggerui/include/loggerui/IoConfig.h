// The I/O page's model: images of the chip's pin-control registers, the pin
// table, what the page shows for one pin, and the register traffic that
// brings the chip in line with the images.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace busgate {
class BusGate;
}

namespace loggerui {

namespace ioreg {
inline constexpr uint16_t kSelection1 = 0xFFDA;
inline constexpr uint16_t kSelection2 = 0xFFF3;
inline constexpr uint16_t kOutputEnable = 0xFFDB;
inline constexpr uint16_t kOutputValue = 0xFFDC;
inline constexpr uint16_t kPullUp = 0xFFF2;
inline constexpr uint16_t kInput = 0xFFDD;
inline constexpr uint16_t kClockControl = 0xFFFB;
} // namespace ioreg

struct PinRow {
    uint32_t chipTypes;
    uint8_t pin;
    const char* names[3];
};

inline constexpr int kPinRowCount = 38;
extern const std::array<PinRow, kPinRowCount> kPinRows;

struct IoImages {
    uint32_t selection1 = 0, selection2 = 0, outputEnable = 0, outputValue = 0, pullUp = 0,
             input = 0, clock = 0;
    uint32_t chipType = 0;
    bool prepared = false;
    bool operator==(const IoImages&) const = default;
};

// Item data of the page's lists.
namespace ioitem {
inline constexpr uint32_t kOutputDisable = 0x100, kOutputEnable = 0x101;
inline constexpr uint32_t kLow = 0x200, kHigh = 0x201;
inline constexpr uint32_t kPullUpDisable = 0x300, kPullUpEnable = 0x301;
inline constexpr uint32_t kReference = 0x400, kPll = 0x401, kRoout = 0x402;
inline constexpr uint32_t kDivider = 0x500; // + divider - 1
} // namespace ioitem

// Resets the images when the chip type changed (or on the first call), then
// forces the type's fixed bits. pwmAtPreset: the PWM page's preset-stage box.
void PrepareIoImages(IoImages& images, uint32_t chipType, bool pwmAtPreset);
// The rows of the pin table that apply to the chip type, in order.
std::vector<int> PinRowsFor(uint32_t chipType);
// "GPO07/SDO1/CLKOUT" and its kin.
std::string PinEntry(int row);
// The pin's current function, 0 to 2 (function k is k - 1 here, as the
// function list's item data has it).
int CurrentFunction(const IoImages& images, int row);
// Writes the bits of function 0 to 2 of the row's pin.
void ChooseFunction(IoImages& images, int row, int function);
// The first or second list's item (see ioitem).
void ChooseSetting(IoImages& images, int row, uint32_t item);

// What the page shows for one pin.
struct PinView {
    struct Item {
        std::string text;
        uint32_t data;
    };
    // The names the row has, each with its function (0 to 2) as item data:
    // a row without a second name lists its third as function 2.
    std::vector<Item> functions;
    int function = 0;
    int functionSelected = -1; // the item of the current function, if listed
    bool firstShown = false, secondShown = false;
    std::string firstLabel, secondLabel;
    std::vector<Item> first, second;
    int firstSelected = -1, secondSelected = -1;
    std::string input; // "HIGH" or "LOW"
};
PinView ViewOf(const IoImages& images, int row);

// Register traffic, each under the logger lock and only with a ready chip.
// GPIO Input read quietly into its image; false when it could not be read.
bool ReadIoInput(busgate::BusGate& bus, IoImages& images);
// Writes (logged) the registers whose image differs from the chip's value;
// a register that cannot be read is not written.
void ApplyIoImages(busgate::BusGate& bus, const IoImages& images);
// "Load Current Setting": every register read logged into its image.
void LoadIoImages(busgate::BusGate& bus, IoImages& images, bool pwmAtPreset);
// The preset stage: the clock bits when they differ, then the five
// selection and pin registers always.
void InjectIoImages(busgate::BusGate& bus, const IoImages& images);

// The page's settings as the sending thread reads them.
class IoSettings {
public:
    IoImages Images() const {
        std::lock_guard hold(mutex_);
        return images_;
    }
    void SetImages(const IoImages& images) {
        std::lock_guard hold(mutex_);
        images_ = images;
    }
    // GPIO Selection 2, which the PWM page reads and changes too.
    uint32_t Selection2() const {
        std::lock_guard hold(mutex_);
        return images_.selection2;
    }
    void SetSelection2(uint32_t value) {
        std::lock_guard hold(mutex_);
        images_.selection2 = value;
    }
    void Prepare(uint32_t chipType, bool pwmAtPreset) {
        std::lock_guard hold(mutex_);
        PrepareIoImages(images_, chipType, pwmAtPreset);
    }

private:
    mutable std::mutex mutex_;
    IoImages images_;
};

} // namespace loggerui
