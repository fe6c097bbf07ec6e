#include "plugin/FilterDesign.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace dulm {
namespace {

constexpr double kMaxNormalisedFrequency = 0.4536;

// The prototype of a Q: c, P and G.
struct SPrototype {
    double c, P, G;
};
SPrototype PrototypeOf(double q) {
    double c = std::numbers::sqrt2 * q;
    if (!(c > 1.01))
        c = 1.01;
    const double d = 1.0 / std::sqrt(c * c - 1.0);
    const ZorbComplex root = ZorbComplex(1.0, d).sqrt();
    const ZorbComplex W(root.real(), -root.imag());
    return {c, W.norm() / 2.0, std::numbers::sqrt2 * std::fabs(W.imag())};
}

} // namespace

void BilinearSection(double u, double v, double w, double p, double q, double r, BIQUAD& s) {
    const double S = p + q + r;
    s.b0 = (u + v + w) / S;
    s.b1 = 2 * (u - w) / S;
    s.b2 = (u - v + w) / S;
    s.a1 = 2 * (p - r) / S;
    s.a2 = (p - q + r) / S;
}

void DesignSection(const double B[3], const double A[3], double K, BIQUAD& s) {
    BilinearSection(B[0], B[1] * K, B[2] * K * K, A[0], A[1] * K, A[2] * K * K, s);
}

double FirstOrderCoef(double t) {
    const double c = std::cos(t);
    return c == 0 ? 0.0 : (std::sin(t) - 1.0) / c;
}

void O3Sections(int flag, double f, double b, double fs, BIQUAD& second, BIQUAD& first) {
    const double e = FirstOrderCoef(Translate_Frequency(f, fs));
    const double T = std::tan(std::atan(0.5) / b);
    const double D = (1 - T) / (1 + T);
    const double s = flag == 0 ? 1.0 : -1.0;
    const double g = 1 / (1 + e * e * D);
    const double h = g * (D + e * e);
    const double k = 2 * g * e * (D + 1);
    second.b0 = second.b2 = (s / 2) * (s * h + e);
    second.b1 = (s / 2) * (s * (h * e + k) + k * e + 1 - s * (s * h + e));
    second.a1 = k;
    second.a2 = h;
    first.b0 = 1;
    first.b1 = s;
    first.b2 = 0;
    first.a1 = e;
    first.a2 = 0;
}

double FrequencyQLimit(double f, double q, double& out, double fs) {
    const double n = f / fs;
    const double R = n / (0.5 - 2 * n * n);
    const double M = q >= R ? q : R;
    out = 1 - q / (2 * M);
    return M;
}

double O2PrototypeMag(double a, double q, double b) {
    const SPrototype p = PrototypeOf(q);
    const double m = b / a;
    return p.P / std::sqrt((p.G * m) * (p.G * m) + (p.P - m * m) * (p.P - m * m));
}

double O2Prototype3dB(int flag, double q) {
    const SPrototype p = PrototypeOf(q);
    const double B = p.G * p.G / 2 - p.P;
    const double k = std::sqrt(B * B + p.P * p.P) - B;
    if (flag == 0)
        return k > 1 ? std::sqrt(1 / k) : std::sqrt(k);
    return k < 1 ? std::sqrt(1 / k) : std::sqrt(k);
}

double O2ButterworthMag(double a, double b) {
    const double m = b / a;
    return 1 / std::sqrt(2 * m * m + (1 - m * m) * (1 - m * m));
}

void O2QSection(double f, double q, double fs, int flag, BIQUAD& s) {
    const double R = O2Prototype3dB(flag, q);
    const double n = std::min(R * f / fs, kMaxNormalisedFrequency);
    const SPrototype p = PrototypeOf(q);
    if (flag != 0) {
        const double B[3] = {0, 0, p.P}, A[3] = {1, p.G, p.P};
        DesignSection(B, A, 1 / std::tan(std::numbers::pi * n), s);
        return;
    }
    const double M = O2PrototypeMag(n, p.c, 0.5);
    const double J = std::min(std::sqrt(0.5) * R * 0.2125 / n, 1.0);
    const double pr = p.P - 1 / (R * R);
    const double L = p.P * p.P / ((p.G / R) * (p.G / R) + pr * pr);
    const double gj = p.G / (J * R);
    const double pm = p.P - M / (R * R);
    const double B1 = -std::sqrt(R * R * ((pr * pr + gj * gj) * L - pm * pm));
    const double B[3] = {p.P, B1 / R, M / (R * R)}, A[3] = {p.P, gj, 1 / (R * R)};
    DesignSection(B, A, 1 / std::tan(std::numbers::pi * n / R), s);
}

void O2ButterworthMatched(int flag, double f, double fs, BIQUAD& s) {
    const double n = std::min(f / fs, kMaxNormalisedFrequency);
    const double K = 1 / std::tan(std::numbers::pi * n);
    if (flag != 0) {
        const double B[3] = {0, 0, 1}, A[3] = {1, std::numbers::sqrt2, 1};
        DesignSection(B, A, K, s);
        return;
    }
    const double N = O2ButterworthMag(n, 0.5);
    const double h = O2ButterworthMag(n, std::sqrt(n / 2));
    const double H = h * h;
    const double X = std::tan(std::numbers::pi * std::sqrt(n / 2)) / std::tan(std::numbers::pi * n);
    const double B1 = std::sqrt(((1 - X * X) * (1 - X * X) + 2 * X * X * (1 - N) * (1 - N)) * H /
                                (X * X * (1 - 2 * H)));
    const double B[3] = {1, B1, N}, A[3] = {1, std::sqrt(2 * (B1 * B1 + (1 - N) * (1 - N))), 1};
    DesignSection(B, A, K, s);
}

void FlattenToDenominator(BIQUAD& s) {
    s.b0 = 1;
    s.b1 = s.a1;
    s.b2 = s.a2;
}

void PutGroup24(uint8_t* bytes, uint32_t group, int32_t value) {
    bytes[3 * group] = static_cast<uint8_t>(value);
    bytes[3 * group + 1] = static_cast<uint8_t>(value >> 8);
    bytes[3 * group + 2] = static_cast<uint8_t>(value >> 16);
}

void AppendHexByte(std::string& text, uint8_t b) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02x, ", b);
    text += hex;
}

} // namespace dulm
