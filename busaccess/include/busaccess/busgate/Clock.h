// Monotonic time source of the library, injectable for tests.
#pragma once

#include <chrono>

namespace busgate {

class Clock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    virtual ~Clock() = default;
    virtual TimePoint Now() = 0;
    virtual void SleepFor(std::chrono::milliseconds ms) = 0;
};

// The steady clock and a real sleep.
Clock& SystemClock();

// A clock that only moves when told to; sleeping advances it.
class ManualClock final : public Clock {
public:
    TimePoint Now() override { return now_; }
    void SleepFor(std::chrono::milliseconds ms) override { now_ += ms; }
    void Advance(std::chrono::milliseconds ms) { now_ += ms; }

private:
    TimePoint now_{std::chrono::hours(1)};
};

} // namespace busgate
