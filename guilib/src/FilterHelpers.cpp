#include "guilib/FilterHelpers.h"

#include <algorithm>
#include <numbers>

double Translate_Frequency(double f, double fs) {
    return fs > 0 ? 2.0 * std::numbers::pi * f / fs : 0.0;
}

double dbToGain(double dB) {
    return std::pow(10.0, dB / 20.0);
}

double BiquadSqMag(const BIQUAD& s, const ZorbComplex& z1, const ZorbComplex& z2) {
    const ZorbComplex num = s.b0 + (s.b1 * z1 + s.b2 * z2);
    const ZorbComplex den = 1.0 + (s.a1 * z1 + s.a2 * z2);
    const double d = den.norm();
    return d > 0 ? num.norm() / d : 0.0;
}

void Normalise_EqSec(BIQUAD& section) {
    const double m =
        std::max({std::fabs(section.b0), std::fabs(section.b1), std::fabs(section.b2)});
    int16_t s = 0;
    double scale = 1.0;
    // A non-finite numerator cannot be brought into range: it keeps shift 0.
    while (std::isfinite(m) && m / scale > 1.0 && s < 62) {
        scale *= 2.0;
        ++s;
    }
    section.b0 /= scale;
    section.b1 /= scale;
    section.b2 /= scale;
    section.shift = s;
}

void DoubleOrd1(const BIQUAD& first, const BIQUAD& second, BIQUAD& out) {
    const double b0 = first.b0 * second.b0;
    const double b1 = first.b0 * second.b1 + first.b1 * second.b0;
    const double b2 = first.b1 * second.b1;
    const double a1 = first.a1 + second.a1;
    const double a2 = first.a1 * second.a1;
    out.b0 = b0;
    out.b1 = b1;
    out.b2 = b2;
    out.a1 = a1;
    out.a2 = a2;
    out.shift = 0;
}

void O2Butterworth(int flag, double f, BIQUAD& section, double fs) {
    const double k = std::tan(std::numbers::pi * f / fs);
    const double k2 = k * k;
    const double norm = 1.0 / (1.0 + std::numbers::sqrt2 * k + k2);
    if (flag == 0) {
        section.b0 = k2 * norm;
        section.b1 = 2.0 * section.b0;
        section.b2 = section.b0;
    } else {
        section.b0 = norm;
        section.b1 = -2.0 * norm;
        section.b2 = norm;
    }
    section.a1 = 2.0 * (k2 - 1.0) * norm;
    section.a2 = (1.0 - std::numbers::sqrt2 * k + k2) * norm;
}

void KUInit_ZPlain_Axes(int points, double* graph, ZorbComplex* z1, ZorbComplex* z2, double fs,
                        double range) {
    for (int k = 0; k < points; ++k) {
        const double f = std::min(kGraphLowestHz * std::pow(2.0, k / 12.0), fs / 2);
        const double w = Translate_Frequency(f, fs);
        if (z1)
            z1[k] = ZorbComplex::polar(1.0, -w);
        if (z2)
            z2[k] = ZorbComplex::polar(1.0, -2.0 * w);
        if (graph)
            graph[k] = f;
    }
}

double ReleaseVU(double level, double& hold, double& release, double factor, double floor) {
    if (level >= hold) {
        hold = level;
        release = 0.0;
    } else {
        hold *= factor;
        release += 1.0;
        if (level > hold)
            hold = level;
    }
    hold = std::max(hold, floor);
    return hold;
}
