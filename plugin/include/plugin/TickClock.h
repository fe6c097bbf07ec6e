// The millisecond tick count and the sleeps of the plug-in's device layer,
// replaceable so that tests can run the timing without waiting.
#pragma once

#include <cstdint>
#include <memory>

class CTickClock {
public:
    virtual ~CTickClock() = default;
    // A millisecond count that wraps at 2^32; only differences matter.
    virtual uint32_t TickCount() = 0;
    virtual void Sleep(uint32_t ms) = 0;
};

// The monotonic system clock and real sleeps.
std::shared_ptr<CTickClock> SystemTickClock();
