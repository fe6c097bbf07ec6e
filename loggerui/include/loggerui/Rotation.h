// Speaker rotation: reroutes the chip's four outputs by programming
// hardware-patch resources 6 and 7 under a soft mute.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace busgate {
class BusGate;
}

namespace loggerui {

struct RotationState {
    int button;
    int result;
    uint32_t data6[2];
    uint32_t data7[2];
    const char* lines[2];
    int plainBitmap;
    int checkedBitmap;
};

inline constexpr std::array<RotationState, 4> kRotationStates{{
    {1101,
     256,
     {0x8CE04, 0x8CF05},
     {0x8CE06, 0x8CF07},
     {"LOUT1 -> L, ROUT1 -> R  \n ", "LOUT2 -> L, ROUT2 -> R  \n "},
     127,
     131},
    {1103,
     257,
     {0x8CE04, 0x8CE05},
     {0x8CF06, 0x8CF07},
     {"LOUT1 -> R, ROUT1 -> R  \n ", "LOUT2 -> L, ROUT2 -> L  \n "},
     128,
     132},
    {1105,
     258,
     {0x8CF04, 0x8CE05},
     {0x8CF06, 0x8CE07},
     {"LOUT1 -> R, ROUT1 -> L  \n ", "LOUT2 -> R, ROUT2 -> L  \n "},
     129,
     136},
    {1107,
     259,
     {0x8CF04, 0x8CF05},
     {0x8CE06, 0x8CE07},
     {"LOUT1 -> L, ROUT1 -> L  \n ", "LOUT2 -> R, ROUT2 -> R  \n "},
     130,
     137},
}};

inline constexpr const char* kRotationOccupied =
    "Resources 6 or 7 are occupied, can't continue with speaker rotation.";
inline constexpr const char* kRotationCaption = "Speaker Rotation";

enum class RotationCheck { NotApplicable, ReadFailed, Occupied, Free };

// Whether the rotation may run: a ready chip of the QX410 family, both
// control words read (unlogged), and neither resource held by another
// patch.
RotationCheck CheckRotationResources(busgate::BusGate& bus);

// Applies the state with the given result code (256-259) through the logging
// transfer; true when every write of the two resources went through. Any
// other code sends nothing and returns false.
bool ApplyRotation(busgate::BusGate& bus, int result);

// The current rotation's result code, 0 while none was applied.
class RotationSettings {
public:
    int current() const { return current_.load(); }
    void setCurrent(int result) { current_.store(result); }

private:
    std::atomic<int> current_{0};
};

} // namespace loggerui
