// Filter and response-graph helpers of the GUI library: second-order
// sections (BIQUAD), the complex points of the response graphs and the
// level-meter helpers.
//
// The designs are standard digital filter design: the bilinear transform
// with frequency pre-warping, and magnitude responses evaluated on the unit
// circle.
#pragma once

#include "guilib/QGLExport.h"

#include <cmath>
#include <cstdint>

// One second-order section y = b0 x + b1 x1 + b2 x2 - (a1 y1 + a2 y2), with
// the stage shift of its normalised numerator and, in the band sections of
// an algorithm, the graph reference frequency and the marker state.
struct BIQUAD {
    double b0 = 1.0;
    double b1 = 0.0;
    double b2 = 0.0;
    double a1 = 0.0;
    double a2 = 0.0;
    int16_t shift = 0;
    double graphFreq = 0.0;
    int32_t marker = 0;

    void SetIdentity() {
        b0 = 1.0;
        b1 = b2 = a1 = a2 = 0.0;
        shift = 0;
    }
};

// A complex number of two doubles (re, im).
class QGL_API ZorbComplex {
public:
    ZorbComplex() = default;
    ZorbComplex(double re, double im) : re_(re), im_(im) {}

    double real() const { return re_; }
    double imag() const { return im_; }
    double abs() const { return std::sqrt(re_ * re_ + im_ * im_); }
    double norm() const { return re_ * re_ + im_ * im_; }
    double arg() const { return std::atan2(im_, re_); }
    static ZorbComplex polar(double r, double t) { return {r * std::cos(t), r * std::sin(t)}; }
    ZorbComplex sqrt() const { return polar(std::sqrt(abs()), arg() / 2); }

    ZorbComplex operator-() const { return {-re_, -im_}; }
    friend ZorbComplex operator+(const ZorbComplex& a, const ZorbComplex& b) {
        return {a.re_ + b.re_, a.im_ + b.im_};
    }
    friend ZorbComplex operator+(double a, const ZorbComplex& z) {
        return {z.re_ + a, z.im_ + 0.0};
    }
    friend ZorbComplex operator+(const ZorbComplex& z, double a) {
        return {z.re_ + a, z.im_ + 0.0};
    }
    friend ZorbComplex operator*(const ZorbComplex& a, const ZorbComplex& b) {
        return {a.re_ * b.re_ - a.im_ * b.im_, a.re_ * b.im_ + a.im_ * b.re_};
    }
    friend ZorbComplex operator*(double a, const ZorbComplex& z) { return {a * z.re_, a * z.im_}; }

private:
    double re_ = 0.0;
    double im_ = 0.0;
};

// The number of points of a response graph and its lowest frequency: the
// graph points lie a semitone apart from there (16 x 2^(k/12) Hz).
inline constexpr int kGraphPoints = 128;
inline constexpr double kGraphLowestHz = 16.0;

// 2 pi f / fs.
QGL_API double Translate_Frequency(double f, double fs);
// 10^(dB/20).
QGL_API double dbToGain(double dB);
// |H(e^jw)|^2 of the section at the point whose z^-1 and z^-2 are given.
QGL_API double BiquadSqMag(const BIQUAD& section, const ZorbComplex& z1, const ZorbComplex& z2);
// Divides b0..b2 by 2^s, s the least s >= 0 with max |b| <= 1, and stores s.
QGL_API void Normalise_EqSec(BIQUAD& section);
// The product of two first-order sections (b0 + b1 z^-1) / (1 + a1 z^-1) as
// one second-order section.
QGL_API void DoubleOrd1(const BIQUAD& first, const BIQUAD& second, BIQUAD& out);
// The bilinear second-order Butterworth pre-warped at f: flag 0 low-pass,
// any other flag high-pass. The shift and graph fields are left alone.
QGL_API void O2Butterworth(int flag, double f, BIQUAD& section, double fs);
// Fills the tables with z^-1 and z^-2 at the graph frequencies
// 16 x 2^(k/12) Hz for k below `points`; points above the Nyquist frequency
// use the Nyquist point. `graph` (points doubles, may be null) receives the
// frequencies; `range` is the graph's dB range (kept for the caller).
QGL_API void KUInit_ZPlain_Axes(int points, double* graph, ZorbComplex* z1, ZorbComplex* z2,
                                double fs, double range);

// The level meters: `ReleaseVU` holds the peak and lets it fall by `factor`
// per call while the level stays below it; the result (and `hold`) is the
// new held level, at least `floor`. `release` keeps the number of calls
// since the last new peak.
QGL_API double ReleaseVU(double level, double& hold, double& release, double factor, double floor);
