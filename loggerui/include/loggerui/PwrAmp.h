// The PWM and power-amplifier page's model: its check boxes and radios, the
// words it composes, and its register actions on the chip.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace busgate {
class BusGate;
}

namespace loggerui {

namespace pwmreg {
inline constexpr uint16_t kControl = 0xFFA0;      // Y
inline constexpr uint16_t kIndex = 0xFFA1;        // Y
inline constexpr uint16_t kData = 0xFFA2;         // Y
inline constexpr uint16_t kPowerControl = 0xFFA7; // Y
inline constexpr uint16_t kControl2 = 0xFFAA;     // Y
inline constexpr uint16_t kEventStatus = 0xFF93;  // Y
inline constexpr uint16_t kEventEnable = 0xFF94;  // Y
inline constexpr uint16_t kSelection2 = 0xFFF3;   // X
} // namespace pwmreg

struct PwmSettings {
    bool module = true;
    bool outputs1 = true;
    bool outputs2 = true;
    bool swap12 = false;
    bool swap1AB = false;
    bool swap2AB = false;
    bool faultEvent = true;
    bool amplifier = true;
    bool upscaler = true;
    int outputMode = 0; // 0 automatic, 1 2.0, 2 2.1
    int modulation = 1; // 0 AD, 1 BD
    float gain = 0.0f;  // up-scaler gain in dB
};

inline constexpr std::array<int32_t, 18> kUpscalerCoefficients{
    -362,   -2016,   -5687,   -9400,   -6009,   14594,  54833,   94438,   86088,
    -21263, -231072, -449443, -485184, -129715, 708182, 1893636, 3070654, 3806571};

// The coefficients scaled for the gain, limited to the 24-bit range; a gain
// that is not finite counts as 0 dB.
std::array<int32_t, 18> UpscalerWords(float gainDb);
// The typed gain: text that is not a finite number gives 0.
float ParseUpscalerGain(std::string_view text);
std::string UpscalerGainText(float gain); // "%.5f"
// Bit 2 (2.1 mode) for the output mode.
bool TwoOneMode(int outputMode, uint32_t lastSpeakerType);
// The PWM control word for the last SSI setting.
uint32_t PwmControlWord(uint16_t lastSsi, bool upscaler);
// The PWM and power control word of the settings.
uint32_t PowerControlWord(const PwmSettings& s, uint32_t lastSpeakerType);
// "FAULTB event status: ..." from bits 4-5 of the power control register.
std::string FaultText(uint32_t powerControl);
inline constexpr const char* kFaultNoEvent = "FAULTB event status: No event.";
inline constexpr const char* kFaultUnknown = "FAULTB event status: ----";

// The preset stage: sends the whole configuration (logged). selection2 is
// the I/O page's GPIO Selection 2 value, updated when the amplifier is on.
void PwmApplyConfig(busgate::BusGate& bus, const PwmSettings& s, uint32_t& selection2);

// The page's actions on a ready chip: reads quiet, writes logged, each under
// the logger lock; a register that cannot be read is not written back.
void PwmSetModule(busgate::BusGate& bus, bool on);
// Output or swap box: bit 0, 1, 11, 12 or 13 of the power control word,
// under a soft mute.
void PwmSetPowerBit(busgate::BusGate& bus, int bit, bool on);
void PwmSetOutputMode(busgate::BusGate& bus, int outputMode);
void PwmSetModulation(busgate::BusGate& bus, int modulation);
void PwmSetFaultEvent(busgate::BusGate& bus, bool on);
void PwmClearFault(busgate::BusGate& bus);
void PwmSetAmplifier(busgate::BusGate& bus, bool on, uint32_t& selection2);
void PwmSetUpscaler(busgate::BusGate& bus, bool on);
void PwmLoadGain(busgate::BusGate& bus, float gain);

// One poll of FAULTB (unlogged): the event bit and the status text; nothing
// when the chip is not ready or a read failed.
struct FaultStatus {
    bool event = false;
    std::string text;
};
std::optional<FaultStatus> PollFault(busgate::BusGate& bus);

class PwmModel {
public:
    PwmSettings Get() const {
        std::lock_guard hold(mutex_);
        return settings_;
    }
    void Set(const PwmSettings& s) {
        std::lock_guard hold(mutex_);
        settings_ = s;
    }

private:
    mutable std::mutex mutex_;
    PwmSettings settings_;
};

} // namespace loggerui
