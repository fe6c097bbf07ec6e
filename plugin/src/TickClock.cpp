#include "plugin/TickClock.h"

#include <chrono>
#include <thread>

namespace {

class SystemClock final : public CTickClock {
public:
    uint32_t TickCount() override {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
    }
    void Sleep(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

} // namespace

std::shared_ptr<CTickClock> SystemTickClock() {
    static const std::shared_ptr<CTickClock> clock = std::make_shared<SystemClock>();
    return clock;
}
