// Second-order section designs of the plug-in beyond the band types: the
// bilinear transform of an analog section, first- and third-order helpers,
// Q-based prototypes and the matched Butterworth sections, and small
// coefficient and byte helpers.
#pragma once

#include "guilib/FilterHelpers.h"

#include <cstdint>
#include <string>

namespace dulm {

// The section of the analog numerator (u, v, w) and denominator (p, q, r),
// the coefficients of s^0, s^1 and s^2, through the bilinear transform.
void BilinearSection(double u, double v, double w, double p, double q, double r, BIQUAD& s);
// The same for a design (B0, B1, B2) / (A0, A1, A2) with the constant K.
void DesignSection(const double numerator[3], const double denominator[3], double K, BIQUAD& s);

// (sin t - 1) / cos t; 0 when cos t is 0.
double FirstOrderCoef(double t);
// A second-order and a first-order section: flag 0 one form, others the
// mirrored one.
void O3Sections(int flag, double f, double b, double fs, BIQUAD& second, BIQUAD& first);
// Limits Q by the frequency; `out` receives 1 - Q / (2 M); returns M.
double FrequencyQLimit(double f, double q, double& out, double fs);
double O2PrototypeMag(double a, double q, double b);
double O2Prototype3dB(int flag, double q);
double O2ButterworthMag(double a, double b);
void O2QSection(double f, double q, double fs, int flag, BIQUAD& s);
void O2ButterworthMatched(int flag, double f, double fs, BIQUAD& s);
// Makes the numerator equal to the denominator: b0 = 1, b1 = a1, b2 = a2.
void FlattenToDenominator(BIQUAD& s);
// The low 24 bits of `value` into 3-byte group `group`, least significant first.
void PutGroup24(uint8_t* bytes, uint32_t group, int32_t value);
// Appends "0x%02x, " of the byte.
void AppendHexByte(std::string& text, uint8_t b);

} // namespace dulm
