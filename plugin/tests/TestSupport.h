// Shared pieces of the plug-in's tests: a clock under the test's control
// and the Dimax connection's adapter library over the simulated bus.
#pragma once

#include "dimax/I2cDeviceLayer.h"
#include "plugin/ConnectDimax.h"
#include "plugin/TickClock.h"
#include "sim/Chip.h"
#include "sim/SimBusLayer.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace dulmtest {

// Time moves only by Sleep (or by hand); every sleep is recorded with a
// mark the test chooses (for example the number of bus transfers so far).
class FakeClock final : public CTickClock {
public:
    struct SleepRecord {
        uint32_t ms;
        size_t mark;
    };

    explicit FakeClock(uint32_t start = 1000) : now_(start) {}

    uint32_t TickCount() override { return now_; }
    void Sleep(uint32_t ms) override {
        {
            std::lock_guard lock(mutex_);
            sleeps_.push_back({ms, mark_ ? mark_() : 0});
        }
        // Only the test's own thread moves time; another thread (a monitor
        // thread) waits a little so that it does not spin flat out.
        if (std::this_thread::get_id() == owner_)
            now_ += ms;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void Advance(uint32_t ms) { now_ += ms; }
    void SetMark(std::function<size_t()> mark) { mark_ = std::move(mark); }
    std::vector<SleepRecord> Sleeps() {
        std::lock_guard lock(mutex_);
        return sleeps_;
    }
    void ClearSleeps() {
        std::lock_guard lock(mutex_);
        sleeps_.clear();
    }

private:
    std::atomic<uint32_t> now_;
    std::mutex mutex_;
    std::vector<SleepRecord> sleeps_;
    std::function<size_t()> mark_;
    std::thread::id owner_ = std::this_thread::get_id();
};

// The adapter library's functions over a simulated bus with the chip at
// 0x73 and a second acknowledging slave at 0x50 (the EEPROM's place).
struct SimDimax {
    SimDimax() {
        bus->attach(0x73, chip);
        bus->attach(0x50, eeprom);
        dimax::SetDeviceLayer(bus);
    }
    ~SimDimax() { dimax::SetDeviceLayer(nullptr); }

    static const SDimaxApi& Api() {
        static const SDimaxApi api{dimax::OpenDevice, dimax::SetI2cFreq, dimax::Write, dimax::Read,
                                   dimax::CloseDevice};
        return api;
    }

    // The bytes of every write transfer, oldest first.
    std::vector<std::vector<uint8_t>> Writes() const {
        std::vector<std::vector<uint8_t>> out;
        for (const auto& transfer : bus->transfers())
            for (const auto& m : transfer)
                if (!m.read)
                    out.push_back(m.bytes);
        return out;
    }

    std::shared_ptr<dimax::SimBusLayer> bus = std::make_shared<dimax::SimBusLayer>();
    std::shared_ptr<u2csim::Chip> chip = std::make_shared<u2csim::Chip>();
    std::shared_ptr<u2csim::Chip> eeprom = std::make_shared<u2csim::Chip>();
};

// Polls `condition` for at most `limit`.
inline bool WaitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds limit = std::chrono::milliseconds(3000)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace dulmtest
