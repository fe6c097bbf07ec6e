#include "loggerui/VolumeCurve.h"

#include "busaccess/busgate/FilterLog.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace loggerui {

namespace {

constexpr double kFullScale = 8388607.0;
constexpr double kFloor = -80.0;
constexpr double kCeiling = 20.0;
constexpr double kNotANumber = -100.0;

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The next number as "%lf" reads it (in the "C" locale); -100 for a token
// that is no number, after which the text is not read further.
bool NextNumber(const std::string& text, std::size_t& at, double& value) {
    while (at < text.size() && IsSpace(text[at]))
        ++at;
    if (at >= text.size())
        return false;
    const char* begin = text.data() + at;
    const char* end = text.data() + text.size();
    if (*begin == '+')
        ++begin;
    value = kNotANumber;
    const auto [next, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || next == begin) {
        value = kNotANumber;
        at = text.size();
        return true;
    }
    at = static_cast<std::size_t>(next - text.data());
    return true;
}

double LevelOf(double raw, double offset) {
    return raw == 0 ? -std::numeric_limits<double>::infinity()
                    : 20 * std::log10(raw / kFullScale) + offset;
}

} // namespace

VolumeEncoding EncodingOf(int target) {
    if (target == 0)
        return VolumeEncoding::GainIndex;
    return target >= 1 && target <= 8 ? VolumeEncoding::InputMixer : VolumeEncoding::Linear;
}

EncodedLevel EncodeLevel(VolumeEncoding encoding, double v) {
    switch (encoding) {
    case VolumeEncoding::GainIndex: {
        const int32_t raw = v < kFloor ? 0
                            : v >= kCeiling
                                ? 499
                                : static_cast<int32_t>(std::trunc((v + 80) / 0.2 + 0.5));
        return {raw, raw * 0.2 - 80};
    }
    case VolumeEncoding::InputMixer: {
        const int32_t raw = v < kFloor ? 0
                            : v >= 18  ? 0x7FFFFF
                                       : static_cast<int32_t>(std::trunc(
                                             std::pow(10.0, (v - 18) / 20) * kFullScale - 0.5));
        return {raw, LevelOf(raw, 18)};
    }
    case VolumeEncoding::Linear:
    default: {
        const int32_t raw =
            v < kFloor ? 0
            : v >= 0   ? 0x7FFFFF
                     : static_cast<int32_t>(std::trunc(std::pow(10.0, v / 20) * kFullScale - 0.5));
        return {raw, LevelOf(raw, 0)};
    }
    }
}

std::vector<double> DefaultCurve() {
    std::vector<double> levels(100);
    for (std::size_t i = 0; i < levels.size(); ++i)
        levels[i] = -0.8 * static_cast<double>(i);
    return levels;
}

CurveLoad ParseCurve(const std::string& text) {
    CurveLoad load;
    auto refuse = [&](const char* format, std::size_t step, double value) {
        load.messages.push_back(
            {busgate::FormatC(256, format, static_cast<unsigned>(step), value), true});
        load.levels.clear();
        return load;
    };
    bool rising = false;
    std::size_t at = 0;
    double value = kNotANumber;
    while (NextNumber(text, at, value)) {
        const std::size_t i = load.levels.size();
        if (value < kFloor || value > kCeiling || std::isnan(value))
            return refuse("Volume is out of range. Step %u, found %f dB.", i + 1, value);
        if (i == 1)
            rising = value > load.levels[0];
        if (i >= 2 && rising && value < load.levels.back())
            return refuse("Volume is not monotonic up. Step %u, found %f dB.", i + 1, value);
        if (i >= 2 && !rising && value > load.levels.back())
            return refuse("Volume is not monotonic down. Step %u, found %f dB.", i + 1, value);
        load.levels.push_back(value);
        if (load.levels.size() == kMaxCurveSteps) {
            load.messages.push_back({busgate::FormatC(64, "Curve reached max limit steps %u",
                                                      static_cast<unsigned>(kMaxCurveSteps)),
                                     true});
            break;
        }
    }
    load.messages.push_back(
        {busgate::FormatC(64, "Found %u steps", static_cast<unsigned>(load.levels.size())), false});
    load.accepted = !load.levels.empty();
    return load;
}

} // namespace loggerui
