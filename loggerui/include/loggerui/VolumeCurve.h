// The volume page's curve: the levels of its steps, their encodings for
// the chosen volume control with the level each encoding really gives, and
// curve files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace loggerui {

inline constexpr std::size_t kMaxCurveSteps = 1000;

enum class VolumeEncoding { GainIndex, InputMixer, Linear };

// The encoding of a volume control by its item data: 0 the gain index,
// 1..8 the input mixers, any other linear.
VolumeEncoding EncodingOf(int target);

struct EncodedLevel {
    int32_t raw;
    double actual; // dB; minus infinity for a raw value of 0
};
EncodedLevel EncodeLevel(VolumeEncoding encoding, double levelDb);

// 100 steps of 0.8 dB from 0 dB down.
std::vector<double> DefaultCurve();

// A message box the load shows.
struct CurveMessage {
    std::string text;
    bool error;
};

struct CurveLoad {
    bool accepted = false;      // the levels replace the curve
    std::vector<double> levels; // at most 1000
    std::vector<CurveMessage> messages;
};

inline constexpr const char* kCurveCaption = "Load Curve from File";

// Numbers separated by white space, -80..20 dB, monotonic in the direction
// the first two give. A token that is no number counts as -100 dB. A text
// without any number is not accepted (after its "Found 0 steps" box).
CurveLoad ParseCurve(const std::string& text);

} // namespace loggerui
