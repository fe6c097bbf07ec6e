#include "loggerui/ToneMath.h"

#include "busaccess/busgate/FilterLog.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace loggerui {

namespace {

constexpr double kFullScale = 8388607.0;
constexpr double kPeakScale = 8388608.0;
// Quotients that are whole in exact arithmetic may come out a hair below
// in binary floating point; they are truncated as the whole numbers.
constexpr double kWhole = 1e-7;

uint16_t Periods(double f, double sampleRate) {
    return static_cast<uint16_t>(
        static_cast<uint32_t>(std::trunc(f * kToneTableCapacity / sampleRate)));
}

uint16_t Truncated16(double value) {
    return static_cast<uint16_t>(static_cast<uint32_t>(std::trunc(value + kWhole)));
}

int Position(double value, double step) {
    return static_cast<int>(std::trunc(value / step + kWhole));
}

} // namespace

double RepresentableFrequency(double f, double sampleRate) {
    const uint16_t n = Periods(f, sampleRate);
    const uint16_t length = Truncated16(sampleRate * n / f);
    return length == 0 ? 0.0 : sampleRate * n / length;
}

std::vector<uint32_t> BuildToneTable(double sampleRate, double f, double levelDb) {
    const uint16_t n = Periods(f, sampleRate);
    const double whole = sampleRate * n;
    const uint16_t l = f > 0 ? Truncated16(whole / f) : 0;
    if (l == 0)
        return {0};
    const double period = sampleRate / (whole / l);
    // The fewest whole periods with a whole number of samples: k periods
    // of l / n samples each.
    std::size_t length = l;
    for (uint32_t k = 1; k + 1 <= n; ++k) {
        if ((static_cast<uint64_t>(k) * l) % n == 0) {
            length = static_cast<std::size_t>(static_cast<uint64_t>(k) * l / n);
            break;
        }
    }
    const double amplitude =
        levelDb <= kMuteLevel ? 0.0 : std::pow(10.0, levelDb / 20.0) * kFullScale;
    std::vector<uint32_t> table(length);
    for (std::size_t v = 0; v < length; ++v) {
        double sample =
            amplitude * std::sin(2 * std::numbers::pi * static_cast<double>(v) / period);
        sample = std::clamp(sample, -kFullScale, kFullScale);
        table[v] = static_cast<uint32_t>(static_cast<int32_t>(std::trunc(sample))) & 0xFFFFFF;
    }
    return table;
}

double FrequencyOfSlider(int position, double sampleRate) {
    return RepresentableFrequency(std::pow(10.0, 0.022 * position + 2.1), sampleRate);
}

int SliderOfFrequency(double f) {
    return Position(std::log10(f) - 2.1, 0.022);
}

double LevelOfSlider(int position) {
    return position * 0.1 - 100;
}

int SliderOfLevel(double levelDb) {
    return Position(levelDb + 100, 0.1);
}

double PhaseDegrees(int phase, double sampleRate, double rightFrequency) {
    const double d = phase * 360.0 / (sampleRate / rightFrequency);
    return d - std::trunc(d / 360 + 0.5) * 360;
}

double PeakLevel(uint32_t raw) {
    raw &= 0xFFFFFF;
    const uint32_t magnitude = raw > 0x7FFFFF ? 0x1000000 - raw : raw;
    return 20 * std::log10(magnitude / kPeakScale);
}

MeterView MeterDisplay(double levelDb) {
    if (!(levelDb > kMuteLevel))
        return {0, " -inf dBFS", kMeterGreen};
    const int position = SliderOfLevel(levelDb);
    return {position, busgate::FormatC(32, "%.1f dBFS", levelDb),
            position <= 950 ? kMeterGreen : kMeterHigh};
}

std::string LevelText(double levelDb) {
    return levelDb <= kMuteLevel ? "mute" : busgate::FormatC(32, "%.1f dBFS", levelDb);
}

} // namespace loggerui
