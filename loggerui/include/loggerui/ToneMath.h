// The arithmetic of the tone generator and the level meters: frequencies a
// sine table can hold, the tables, the sliders' scales and the meters'
// display.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace loggerui {

inline constexpr int kToneTableCapacity = 384;
inline constexpr double kMuteLevel = -100.0;
inline constexpr uint32_t kMeterGreen = 0x00FF00; // COLORREF
inline constexpr uint32_t kMeterHigh = 0xFF0000;  // COLORREF (blue)

// The frequency nearest below f whose whole periods fill a table of at
// most 384 samples at the sample rate.
double RepresentableFrequency(double f, double sampleRate);

// The sine table of a representable frequency: the fewest whole periods
// that fill a whole number of samples (the periods of a 384-sample table
// when none fewer do), at the level (dBFS; -100 mutes), as 24-bit
// two's-complement values.
std::vector<uint32_t> BuildToneTable(double sampleRate, double f, double levelDb);

// Slider scales.
double FrequencyOfSlider(int position, double sampleRate); // representable
int SliderOfFrequency(double f);
double LevelOfSlider(int position);
int SliderOfLevel(double levelDb);
// The right channel's start offset in degrees, folded into -180..180.
double PhaseDegrees(int phase, double sampleRate, double rightFrequency);

// A peak read from the chip (24 bits, two's complement) in dBFS.
double PeakLevel(uint32_t raw);

struct MeterView {
    int position; // 0..1030
    std::string text;
    uint32_t colour; // COLORREF
};
MeterView MeterDisplay(double levelDb);

// The level edit's text: "%.1f dBFS", or "mute" at -100.
std::string LevelText(double levelDb);

} // namespace loggerui
