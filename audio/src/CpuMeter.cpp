#include "audio/CpuMeter.h"

#include <atomic>
#include <locale>
#include <sstream>

namespace {

struct Meter {
    std::atomic<int64_t> idleSum{0};
    std::atomic<int64_t> idleCount{0};
    std::atomic<int64_t> processSum{0};
    std::atomic<int64_t> processCount{0};
    std::atomic<int64_t> smoothed{0};
    std::atomic<int32_t> sampleRate{0};
    std::atomic<int32_t> bufferSize{0};
    std::atomic<double> idleInterval{0.03};
};

Meter& TheMeter() {
    static Meter meter;
    return meter;
}

// Takes the sum and count (leaving both 0) and returns the truncated average.
int64_t TakeAverage(std::atomic<int64_t>& sum, std::atomic<int64_t>& count) {
    const int64_t n = count.exchange(0, std::memory_order_relaxed);
    const int64_t s = sum.exchange(0, std::memory_order_relaxed);
    return n > 0 ? s / n : 0;
}

} // namespace

void CpuMeter::AddIdleTime(int64_t microseconds) {
    Meter& m = TheMeter();
    m.idleSum.fetch_add(microseconds, std::memory_order_relaxed);
    m.idleCount.fetch_add(1, std::memory_order_relaxed);
}

void CpuMeter::AddProcessTime(int64_t microseconds) {
    Meter& m = TheMeter();
    m.processSum.fetch_add(microseconds, std::memory_order_relaxed);
    m.processCount.fetch_add(1, std::memory_order_relaxed);
}

void CpuMeter::SetAudioFormat(int32_t sampleRate, int32_t bufferSize) {
    TheMeter().sampleRate = sampleRate;
    TheMeter().bufferSize = bufferSize;
}

void CpuMeter::SetIdleInterval(double seconds) {
    TheMeter().idleInterval = seconds;
}

int32_t CpuMeter::GetSampleRate() {
    return TheMeter().sampleRate;
}
int32_t CpuMeter::GetBufferSize() {
    return TheMeter().bufferSize;
}
double CpuMeter::GetIdleInterval() {
    return TheMeter().idleInterval;
}

double CpuMeter::GetIdleLoad(int64_t& microseconds) {
    Meter& m = TheMeter();
    microseconds = TakeAverage(m.idleSum, m.idleCount);
    const double interval = m.idleInterval;
    if (interval <= 0.0)
        return 0.0;
    return double(microseconds) / 1000000.0 / interval * 100.0;
}

void CpuMeter::GetProcessLoad(int64_t& microseconds, double& percentage) {
    Meter& m = TheMeter();
    const int64_t average = TakeAverage(m.processSum, m.processCount);
    const int64_t previous = m.smoothed.load(std::memory_order_relaxed);
    const double k = previous > average ? 0.75 : 0.05;
    const int64_t smoothed =
        static_cast<int64_t>((1.0 - k) * double(average) + k * double(previous) + 0.5);
    m.smoothed.store(smoothed, std::memory_order_relaxed);
    microseconds = smoothed;
    const double rate = m.sampleRate;
    const double frames = m.bufferSize;
    if (rate <= 0.0 || frames <= 0.0) {
        percentage = 0.0;
        return;
    }
    percentage = double(smoothed) / 1000000.0 / (frames / rate) * 100.0;
}

void CpuMeter::Reset() {
    Meter& m = TheMeter();
    m.idleSum = 0;
    m.idleCount = 0;
    m.processSum = 0;
    m.processCount = 0;
    m.smoothed = 0;
}

std::string CpuMeter::FormatStatistics() {
    int64_t microseconds = 0;
    double percentage = 0.0;
    GetProcessLoad(microseconds, percentage);
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << "\tProcess micSec: " << microseconds << " CPU usage: " << percentage << "\n";
    return out.str();
}
