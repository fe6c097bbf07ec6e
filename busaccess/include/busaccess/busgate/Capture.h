// The capture buffer: the command stream the chip received since its last
// setup, kept for the exports.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace busgate {

struct CaptureBuffer {
    static constexpr uint32_t kSize = 16384;
    static constexpr uint32_t kInvalid = 0xFFFFFFFFu;
    static constexpr uint32_t kOverflow = 0x10000000u;
    enum State : uint32_t { Idle = 0, CapturingEmpty = 1, Completed = 2, Capturing = 3 };

    std::array<uint8_t, kSize> bytes{};
    uint32_t total = 0;
    uint32_t state = Idle;
    uint32_t armed = 1;
    std::string label = " -- Empty -- ";
};

} // namespace busgate
