// Register sequences of the tweaks code: the sample-rate converter (the PLL
// and the code's ratio between the interface's sample rate and the
// processing rate, and the return of both to x1) and the linear volume's
// switches.
#pragma once

#include "busaccess/busgate/BusGate.h"

#include <cstdint>
#include <optional>

namespace loggerui {

// The PLL value of a ratio (1, 2 or 4), none for any other.
std::optional<uint32_t> SrcPllValue(uint32_t ratio);

enum class SrcResult { Done, InvalidRatio };

// Runs the sequence under the logger's lock. captureActive: a capture is
// being filled, so the DSP is not paused around the change. A register
// read that fails skips the write built from it.
SrcResult ConfigureSrcSequence(busgate::BusGate& bus, uint32_t ratio, bool captureActive);
// Back to x1 with the crystal as the reference clock.
void ResetSrcSequence(busgate::BusGate& bus, bool captureActive);

// Unity gains and limits into the parameter block, then the code's linear
// volume bit set. True when the control word read carries the code's
// signature (bits 8-23, as TweaksImage::signature holds it).
bool SwitchLinearVolumeOn(busgate::BusGate& bus, uint32_t signature);
// Unity gains, then the linear volume bit cleared.
void SwitchLinearVolumeOff(busgate::BusGate& bus);

} // namespace loggerui
