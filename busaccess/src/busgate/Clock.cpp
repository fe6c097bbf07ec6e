#include "busaccess/busgate/Clock.h"

#include <thread>

namespace busgate {

namespace {

class SteadyClock final : public Clock {
public:
    TimePoint Now() override { return std::chrono::steady_clock::now(); }
    void SleepFor(std::chrono::milliseconds ms) override { std::this_thread::sleep_for(ms); }
};

} // namespace

Clock& SystemClock() {
    static SteadyClock clock;
    return clock;
}

} // namespace busgate
