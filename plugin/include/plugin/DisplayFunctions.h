// The plug-in's display functions and scale conversions, and the table of
// the parameter ranges they are attached to.
#pragma once

#include "guilib/ControlParam.h"

#include <string>
#include <vector>

namespace dulm {

void DisplayInOut(double state, double value, std::string& text);
void DisplayBandType(double state, double value, std::string& text);
void DisplayAnalogInputs(double state, double value, std::string& text);
void DisplaySpeakerType(double state, double value, std::string& text);
void DisplaySampleRate(double state, double value, std::string& text);
void DisplayStereoSpan(double state, double value, std::string& text);
void DisplayLowFreq(double state, double value, std::string& text);
void DisplayMixerInputValue(double state, double value, std::string& text);
void DisplayMixerOutputValue(double state, double value, std::string& text);
void DisplayDigitalIO(double state, double value, std::string& text);
void DisplayBalance(double state, double value, std::string& text);
// The balance as steps from the centre, -45 (left) to 45 (right).
int BalanceSteps(double value);
void DisplayBoardType(double state, double value, std::string& text);
// Supplied but attached to no parameter.
void DisplayThreeState(double state, double value, std::string& text);
void DisplayTapeOutNumber(double state, double value, std::string& text);
void DisplayBellShelfType(double state, double value, std::string& text);

double StereoSpanToRealWorld(double state, const sSCALE_INFO* scale);
double StereoSpanToState(double value, const sSCALE_INFO* scale);
double LowFreqToRealWorld(double state, const sSCALE_INFO* scale);
double LowFreqToState(double value, const sSCALE_INFO* scale);
// 128 semitones from 16 Hz; the top is cut to 22045.59 Hz.
double FreqToRealWorld(double state, const sSCALE_INFO* scale);
double FreqToState(double value, const sSCALE_INFO* scale);
double VolumeToRealWorld(double state, const sSCALE_INFO* scale);
double VolumeToState(double value, const sSCALE_INFO* scale);
double ZeroSnapToRealWorld(double state, const sSCALE_INFO* scale);
double ZeroSnapToState(double value, const sSCALE_INFO* scale);
double GainCodeToRealWorld(double state, const sSCALE_INFO* scale);
double GainCodeToState(double value, const sSCALE_INFO* scale);
double QCodeToRealWorld(double state, const sSCALE_INFO* scale);
double QCodeToState(double value, const sSCALE_INFO* scale);

inline constexpr double kFreqScaleTop = 22045.59;

// One attachment: indices first..last in steps of `step` get the display
// function and/or the conversion pair (null members are left alone).
struct SAttachment {
    int first;
    int last;
    int step;
    DisplayFunc display;
    StateToRealWorldFunc toRealWorld;
    RealWorldToStateFunc toState;
};
const std::vector<SAttachment>& Attachments();

} // namespace dulm
