// The sample-rate converter of the tweaks code: the register sequence that
// sets the PLL and the code's ratio between the interface's sample rate and
// the processing rate, and the one that returns both to x1.
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

} // namespace loggerui
