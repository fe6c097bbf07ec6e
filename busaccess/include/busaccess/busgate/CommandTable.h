// The chip command table: every command the chip knows, keyed on its three
// bytes in wire order {parameter high byte, command byte, parameter low byte}.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace busgate {

// Decoder of the command itself.
enum class Dec : uint8_t {
    Plain,
    Get,
    Swallow,
    CatchAll,
    OnOff,
    Mute,
    GlobalBypass,
    BypassSet,
    Balance,
    OriginalBass,
    VolumeGain,
    Intensity76,
    Intensity127,
    DynamicRange,
    BassCutoff,
    Mode3D,
    CrossoverFreq,
    TrebleFreq,
    LowGain,
    LevelerRange,
    LevelerTarget,
    Knee,
    NoiseGate,
    FadeTime,
    GateThreshold,
    GateGap,
    HighPassFreq,
    SpeakerType,
    AEQStart,
    SoftwareReset,
    SetupStart,
    SetupCompleted,
    IsAlive,
    SSI,
    SampleRate,
    Patch,
    CodecInterface,
    TweaksValue,
};

// Decoder of the data words that follow a command.
enum class Ext : uint8_t {
    None,
    Word,
    Swallow,
    PEQ,
    AEQ,
    Mixer,
    FirmwareVersion,
    ChipVersion,
    ChipFlavour,
    DACVolume,
    PGAGain,
    ADCVolume,
    ADCInput,
    CodecInterface,
    CodecPower,
    GPIOSelection1,
    GPIOSelection2,
    ClockControl,
    PLL,
    SSIControl,
};

struct CommandRow {
    uint32_t value;        // the key this row stands for
    uint32_t mask;         // matches when key & mask == value
    uint32_t firmwareMask; // applies when code == (code & firmwareMask)
    uint32_t category;     // 1..7 (0 for the catch-all)
    Dec decoder;
    Ext extended;
    uint32_t extWords;     // words that follow (a decoder may replace it)
    uint32_t extDirection; // 1 when the words are read, 0 when written
    const char* name;
};

// All rows, in search order.
std::span<const CommandRow> CommandTable();

// Firmware codes of the bus state.
inline constexpr uint32_t kFirmwareA1 = 1;
inline constexpr uint32_t kFirmwareA2 = 2;
inline constexpr uint32_t kFirmwareQZ625x = 4;
inline constexpr uint32_t kFirmwareUndetected = 0xFFFFFFFFu;

inline constexpr bool RowApplies(const CommandRow& row, uint32_t firmwareCode) {
    return firmwareCode == (firmwareCode & row.firmwareMask);
}

// Index of the first row that applies to the firmware code and matches the
// key. The last row matches everything, so there is always one.
std::size_t FindCommandRow(uint32_t key, uint32_t firmwareCode);

// Log colour of a category: 3 and 4 give 4, 5 gives 5, 6 gives 6, others 1.
constexpr int CategoryColour(uint32_t category) {
    switch (category) {
    case 3:
    case 4:
        return 4;
    case 5:
        return 5;
    case 6:
        return 6;
    default:
        return 1;
    }
}

} // namespace busgate
