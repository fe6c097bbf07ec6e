#include "plugin/DisplayFunctions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace dulm {
namespace {

int Int(double v) {
    return static_cast<int>(std::trunc(v));
}

std::string Fixed2(double value) {
    char buffer[64];
    const auto r =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
    return std::string(buffer, r.ptr);
}

std::string Format(const char* format, int value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

// floor(state / 1000 x 127 + 0.5): the 7-bit code of a continuous state.
double Code127(double state) {
    return std::floor(state / 1000.0 * 127.0 + 0.5);
}

} // namespace

void DisplayInOut(double, double value, std::string& text) {
    text = value == 1 ? "In" : "Out";
}

void DisplayBandType(double, double value, std::string& text) {
    static const char* const names[] = {"Bell", "Low Shelf", "High Shelf", "Shape 4", "Shape 5"};
    const int t = Int(value);
    text = t >= 0 && t < 5 ? names[t] : "Bell";
}

void DisplayAnalogInputs(double, double value, std::string& text) {
    text = Format("%d", Int(value) + 1);
}

void DisplaySpeakerType(double, double value, std::string& text) {
    const int m = Int(value) % 3;
    if (m == 0)
        text = "2.0";
    else if (m == 1)
        text = "2.1";
}

void DisplaySampleRate(double, double value, std::string& text) {
    text = Int(value) % 2 == 0 ? "48 kHz" : "44.1 kHz";
}

void DisplayStereoSpan(double, double value, std::string& text) {
    const int v = Int(value);
    text = v == 10 ? "Normal" : v == 15 ? "Wide" : "Narrow";
}

// The setting's number: the chip's choice of the lowest frequency widened
// (a step of a table, not a level).
void DisplayLowFreq(double, double value, std::string& text) {
    text = Format("%d", Int(value));
}

void DisplayMixerInputValue(double, double value, std::string& text) {
    text = value <= -80.0 ? "-Inf" : Fixed2(value);
}

void DisplayMixerOutputValue(double state, double value, std::string& text) {
    DisplayMixerInputValue(state, value, text);
}

void DisplayDigitalIO(double, double value, std::string& text) {
    text = Format("%06x", Int(value));
}

int BalanceSteps(double value) {
    return std::clamp((Int(value) - 120) * 3 / 8, -45, 45);
}

void DisplayBalance(double, double value, std::string& text) {
    text = Format("%d", BalanceSteps(value));
}

void DisplayBoardType(double, double value, std::string& text) {
    const int v = Int(value);
    if (v == 0)
        text = "FreeScale";
    else if (v == 1)
        text = "VU6000";
}

void DisplayThreeState(double, double value, std::string& text) {
    const int v = Int(value);
    text = v == 1 ? "1" : v == 2 ? "2" : "0";
}

void DisplayTapeOutNumber(double, double value, std::string& text) {
    const int v = Int(value);
    if (v == 1)
        text = "TO1";
    else if (v == 2)
        text = "TO2";
}

void DisplayBellShelfType(double, double value, std::string& text) {
    const int v = Int(value);
    text = v == 1 ? "Low Shelf" : v == 2 ? "High Shelf" : "Bell";
}

double StereoSpanToRealWorld(double state, const sSCALE_INFO*) {
    const int m = Int(state) % 3;
    return m == 1 ? 10.0 : m == 2 ? 15.0 : 5.0;
}

double StereoSpanToState(double value, const sSCALE_INFO*) {
    return value == 10 ? 1.0 : value == 15 ? 2.0 : 0.0;
}

double LowFreqToRealWorld(double state, const sSCALE_INFO*) {
    return Int(state) % 11;
}

double LowFreqToState(double value, const sSCALE_INFO*) {
    return value;
}

double FreqToRealWorld(double state, const sSCALE_INFO*) {
    const double code = Code127(state);
    return std::min(std::floor(std::pow(2.0, code / 12.0 + 4.0) + 0.5), kFreqScaleTop);
}

double FreqToState(double value, const sSCALE_INFO*) {
    if (!(value > 0))
        return 0.0;
    return std::floor((std::log2(value) - 4.0) * 12.0 / 127.0 * 1000.0 + 0.5);
}

double VolumeToRealWorld(double state, const sSCALE_INFO*) {
    return std::floor(state / 1000.0 * 500.0 + 0.5) * 0.2 - 80.0;
}

double VolumeToState(double value, const sSCALE_INFO*) {
    return std::floor((value + 80.0) / 0.2 / 500.0 * 1000.0 + 0.5);
}

double ZeroSnapToRealWorld(double state, const sSCALE_INFO* s) {
    const double step = (s->maximum - s->minimum) / 1000.0;
    const double v = s->minimum + step * state;
    return v < 0 && v + step > 0 ? 0.0 : v;
}

double ZeroSnapToState(double value, const sSCALE_INFO* s) {
    const double span = s->maximum - s->minimum;
    return span != 0 ? std::floor((value - s->minimum) * 1000.0 / span) : 0.0;
}

double GainCodeToRealWorld(double state, const sSCALE_INFO*) {
    return Code127(state) * 9.0 * 0.03125 - 18.0;
}

double GainCodeToState(double value, const sSCALE_INFO*) {
    return std::floor((value + 18.0) * 32.0 / 9.0 / 127.0 * 1000.0 + 0.5);
}

double QCodeToRealWorld(double state, const sSCALE_INFO*) {
    return Code127(state) * 3.572 / 127.0 + 0.4;
}

double QCodeToState(double value, const sSCALE_INFO*) {
    return std::floor((value - 0.4) * 127.0 / 3.572 / 127.0 * 1000.0 + 0.5);
}

const std::vector<SAttachment>& Attachments() {
    static const std::vector<SAttachment> table = {
        {0, 45, 5, DisplayInOut, nullptr, nullptr},
        {50, 70, 5, DisplayInOut, nullptr, nullptr},
        {89, 90, 1, DisplayInOut, nullptr, nullptr},
        {120, 121, 1, DisplayInOut, nullptr, nullptr},
        {123, 129, 1, DisplayInOut, nullptr, nullptr},
        {131, 131, 1, DisplayInOut, nullptr, nullptr},
        {139, 143, 1, DisplayInOut, nullptr, nullptr},
        {145, 148, 1, DisplayInOut, nullptr, nullptr},
        {154, 154, 1, DisplayInOut, nullptr, nullptr},
        {177, 177, 1, DisplayInOut, nullptr, nullptr},
        {1, 46, 5, DisplayBandType, nullptr, nullptr},
        {51, 71, 5, DisplayBandType, nullptr, nullptr},
        // The sub-woofer bands' types (their resource names no function the
        // library knows): shown like the other bands' types.
        {185, 190, 5, DisplayBandType, nullptr, nullptr},
        {86, 86, 1, DisplayAnalogInputs, nullptr, nullptr},
        {165, 165, 1, DisplayAnalogInputs, nullptr, nullptr},
        {87, 87, 1, DisplaySpeakerType, nullptr, nullptr},
        {88, 88, 1, DisplaySampleRate, nullptr, nullptr},
        {91, 91, 1, DisplayStereoSpan, StereoSpanToRealWorld, StereoSpanToState},
        {92, 92, 1, DisplayLowFreq, LowFreqToRealWorld, LowFreqToState},
        {93, 100, 1, DisplayMixerInputValue, ZeroSnapToRealWorld, ZeroSnapToState},
        {101, 107, 1, DisplayMixerOutputValue, nullptr, nullptr},
        {149, 150, 1, DisplayMixerOutputValue, nullptr, nullptr},
        {114, 115, 1, DisplayDigitalIO, nullptr, nullptr},
        {122, 122, 1, DisplayBalance, nullptr, nullptr},
        {164, 164, 1, DisplayBoardType, nullptr, nullptr},
        {3, 48, 5, nullptr, FreqToRealWorld, FreqToState},
        {53, 73, 5, nullptr, FreqToRealWorld, FreqToState},
        {81, 82, 1, nullptr, FreqToRealWorld, FreqToState},
        {144, 144, 1, nullptr, FreqToRealWorld, FreqToState},
        {187, 192, 5, nullptr, FreqToRealWorld, FreqToState},
        {116, 116, 1, nullptr, VolumeToRealWorld, VolumeToState},
    };
    return table;
}

} // namespace dulm
