#include "loggerui/AeqFilters.h"

#include "busaccess/busgate/BusGate.h"
#include "foundation/KCStFile.h"
#include "foundation/KCStPath.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>

namespace loggerui {

namespace {

constexpr double kTwo = 2.0;
constexpr unsigned kMaxShift = 31;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

struct Section {
    double a0, a1, a2, b1, b2;
};

std::optional<Section> Cookbook(const AeqRecord& r) {
    if (r.type >= kAeqTypeCount || r.rate > 1 || !std::isfinite(r.gain) || !std::isfinite(r.q))
        return std::nullopt;
    const double fs = r.rate == 1 ? 44100.0 : 48000.0;
    const double w0 = 2.0 * std::numbers::pi * r.frequency / fs;
    const double alpha = std::sin(w0) / (2.0 * r.q);
    const double A = std::pow(10.0, r.gain / 40.0);
    const double c = std::cos(w0);
    const double s = 2.0 * std::sqrt(A) * alpha;
    double d = 1.0;
    Section x{};
    switch (r.type) {
    case kBell:
        d = 1 + alpha / A;
        x = {1 + alpha * A, -2 * c, 1 - alpha * A, -2 * c, 1 - alpha / A};
        break;
    case kLowShelf:
        d = (A + 1) + (A - 1) * c + s;
        x = {A * ((A + 1) - (A - 1) * c + s), 2 * A * ((A - 1) - (A + 1) * c),
             A * ((A + 1) - (A - 1) * c - s), -2 * ((A - 1) + (A + 1) * c),
             (A + 1) + (A - 1) * c - s};
        break;
    case kHighShelf:
        d = (A + 1) - (A - 1) * c + s;
        x = {A * ((A + 1) + (A - 1) * c + s), -2 * A * ((A - 1) + (A + 1) * c),
             A * ((A + 1) + (A - 1) * c - s), 2 * ((A - 1) - (A + 1) * c),
             (A + 1) - (A - 1) * c - s};
        break;
    case kLowPass:
        d = 1 + alpha;
        x = {(1 - c) / 2, 1 - c, (1 - c) / 2, -2 * c, 1 - alpha};
        break;
    case kHighPass:
        d = 1 + alpha;
        x = {(1 + c) / 2, -(1 + c), (1 + c) / 2, -2 * c, 1 - alpha};
        break;
    default: // Notch
        d = 1 + alpha;
        x = {1, -2 * c, 1, -2 * c, 1 - alpha};
        break;
    }
    Section out{x.a0 / d, x.a1 / d, x.a2 / d, x.b1 / d, x.b2 / d};
    for (double v : {out.a0, out.a1, out.a2, out.b1, out.b2})
        if (!std::isfinite(v))
            return std::nullopt;
    return out;
}

void ClearCoefficients(AeqRecord& r) {
    r.a0 = r.a1 = r.a2 = r.b1 = r.b2 = 0;
}

int32_t* Mantissa(AeqRecord& r, int coefficient) {
    int32_t* all[5] = {&r.a0, &r.a1, &r.a2, &r.b1, &r.b2};
    return all[coefficient];
}

int32_t MantissaOf(const AeqRecord& r, int coefficient) {
    return *Mantissa(const_cast<AeqRecord&>(r), coefficient);
}

double RealValue(const AeqRecord& r, int coefficient) {
    return coefficient < 3 ? FeedForwardValue(MantissaOf(r, coefficient), r.shift)
                           : FeedbackValue(MantissaOf(r, coefficient));
}

std::optional<double> ParseReal(std::string_view text) {
    const std::string s(text);
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end == s.c_str() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

void PutWord(std::vector<uint8_t>& out, uint32_t word) {
    out.push_back(static_cast<uint8_t>(word >> 16));
    out.push_back(static_cast<uint8_t>(word >> 8));
    out.push_back(static_cast<uint8_t>(word));
}

void PutLe(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>(value >> (8 * i)));
}

uint32_t GetLe(const char* at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | static_cast<uint8_t>(at[i]);
    return v;
}

uint32_t FloatBits(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

float BitsFloat(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

} // namespace

unsigned ShiftFor(double value) {
    if (!std::isfinite(value))
        return kMaxShift + 1;
    unsigned n = 0;
    for (double v = std::fabs(value); v >= kTwo && n <= kMaxShift; v /= 2)
        ++n;
    return n;
}

int32_t ToMantissa(double value, unsigned shift) {
    const double m =
        std::trunc(value * 0.5 / std::ldexp(1.0, static_cast<int>(shift)) * kMantissaScale + 0.5);
    return static_cast<int32_t>(std::clamp(m, -8388608.0, 8388607.0));
}

double FeedForwardValue(int32_t mantissa, unsigned shift) {
    return mantissa * 2.0 * std::ldexp(1.0, static_cast<int>(shift)) / kMantissaScale;
}

double FeedbackValue(int32_t mantissa) {
    return mantissa * 2.0 / kMantissaScale;
}

bool DesignBiquad(AeqRecord& r) {
    const std::optional<Section> s = Cookbook(r);
    if (!s || s->b1 < -2 || s->b1 > 2 || s->b2 < -2 || s->b2 > 2) {
        ClearCoefficients(r);
        return false;
    }
    const unsigned shift = std::max({ShiftFor(s->a0), ShiftFor(s->a1), ShiftFor(s->a2)});
    if (shift > kMaxShift) {
        ClearCoefficients(r);
        return false;
    }
    r.shift = static_cast<uint8_t>(shift);
    r.a0 = ToMantissa(s->a0, shift);
    r.a1 = ToMantissa(s->a1, shift);
    r.a2 = ToMantissa(s->a2, shift);
    r.b1 = ToMantissa(s->b1, 0);
    r.b2 = ToMantissa(s->b2, 0);
    return true;
}

AeqRecords InitialAeqRecords() {
    AeqRecords records;
    for (int i = 0; i < kAeqFilterCount; ++i) {
        AeqRecord& r = records[static_cast<size_t>(i)];
        r = AeqRecord{};
        r.frequency = static_cast<uint16_t>(32u << i);
    }
    records[0].type = kHighPass;
    records[0].q = 1.41f;
    records[9].type = kLowPass;
    records[9].q = 1.41f;
    return records;
}

std::string AeqListEntry(int index, const AeqRecord& r) {
    std::string state;
    if (!r.enabled)
        state = "[ - ]";
    else if (!r.designed)
        state = "[BiQuad]";
    else if (r.type < kAeqTypeCount)
        state = std::string("[") + kAeqTypeLabels[r.type] + "]";
    else
        state = "[?]";
    return Format("CH %2d %s", index + 1, state.c_str());
}

std::string AeqCoefficientText(const AeqRecord& r, int coefficient) {
    const int32_t m = MantissaOf(r, coefficient);
    return Format("%.15f (0x%06lX)", RealValue(r, coefficient),
                  static_cast<unsigned long>(static_cast<uint32_t>(m) & 0xFFFFFFu));
}

std::optional<uint16_t> ParseAeqFrequency(std::string_view text) {
    const std::string s(text);
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (end == s.c_str() || v < 15 || v > 22387)
        return std::nullopt;
    return static_cast<uint16_t>(v);
}

std::optional<float> ParseAeqGain(std::string_view text) {
    const std::optional<double> v = ParseReal(text);
    if (!v)
        return std::nullopt;
    const double g = std::round(*v * 10.0) / 10.0;
    if (g < -20.0 || g > 20.0)
        return std::nullopt;
    return static_cast<float>(g);
}

std::optional<float> ParseAeqQ(std::string_view text) {
    const std::optional<double> v = ParseReal(text);
    if (!v || *v > 1e6 || *v < -1e6)
        return std::nullopt;
    const double q = std::trunc(*v * 100.0 + 0.5) / 100.0;
    if (q < 0.4 || q > 12.0)
        return std::nullopt;
    return static_cast<float>(q);
}

bool SetAeqCoefficient(AeqRecord& r, int coefficient, std::string_view text) {
    if (coefficient < 0 || coefficient > 4)
        return false;
    const std::optional<double> x = ParseReal(text);
    if (!x)
        return false;
    if (coefficient >= 3) {
        if (*x < -2.0 || *x > 2.0)
            return false;
        *Mantissa(r, coefficient) = ToMantissa(*x, 0);
        return true;
    }
    double values[3] = {RealValue(r, 0), RealValue(r, 1), RealValue(r, 2)};
    values[coefficient] = *x;
    const unsigned shift =
        std::max({ShiftFor(values[0]), ShiftFor(values[1]), ShiftFor(values[2])});
    if (shift > kMaxShift)
        return false;
    if (shift == r.shift) {
        *Mantissa(r, coefficient) = ToMantissa(*x, shift);
        return true;
    }
    r.shift = static_cast<uint8_t>(shift);
    for (int k = 0; k < 3; ++k)
        *Mantissa(r, k) = ToMantissa(values[k], shift);
    return true;
}

void SetAeqType(AeqRecord& r, uint32_t type) {
    r.type = type;
    if (type == kLowPass || type == kHighPass) {
        r.q = 0.707f;
        r.gain = 0;
    } else if (type == kNotch) {
        r.gain = 0;
    } else if (type == kLowShelf || type == kHighShelf) {
        r.q = 0.707f;
    }
    DesignBiquad(r);
}

uint16_t FrequencyFromPosition(int position) {
    const double f = std::pow(10.0, double{1.2f} + double{0.007875f} * position);
    return static_cast<uint16_t>(std::clamp(f, 0.0, 65535.0));
}

int PositionFromFrequency(uint16_t frequency) {
    if (frequency == 0)
        return 0;
    return static_cast<int>((std::log10(static_cast<double>(frequency)) - double{1.2f}) /
                            double{0.007875f});
}

float GainFromPosition(int position) {
    return position * 0.1f - 20.0f;
}
int PositionFromGain(float gain) {
    return static_cast<int>((gain + 20.0f) / 0.1f);
}
float QFromPosition(int position) {
    return position * 0.01f + 0.4f;
}
int PositionFromQ(float q) {
    return static_cast<int>((q - 0.4f) / 0.01f);
}

std::vector<uint8_t> AeqLoadBlock(const AeqRecords& records) {
    uint32_t n = 0, sum = 0;
    for (const AeqRecord& r : records)
        if (r.enabled) {
            ++n;
            sum += r.shift;
        }
    std::vector<uint8_t> out;
    PutWord(out, sum + 1);
    PutWord(out, n - 1);
    for (const AeqRecord& r : records)
        if (r.enabled)
            for (int32_t m : {r.a2, r.a0, r.a1, r.b2, r.b1})
                PutWord(out, static_cast<uint32_t>(m));
    return out;
}

void SendAeqFilters(busgate::BusGate& bus, const AeqRecords& records) {
    if (bus.State().ready != 1)
        return;
    const auto n = static_cast<uint32_t>(std::count_if(
        records.begin(), records.end(), [](const AeqRecord& r) { return r.enabled; }));
    busgate::LoggerLockGuard hold(bus.Lock());
    bus.FdkInit(busgate::BusGate::Transfer::Logger);
    if (n == 0) {
        if (bus.SendCommand(0x0263, 0xA7) == 0)
            bus.SendData(0x00D3E2);
        return;
    }
    const std::vector<uint8_t> block = AeqLoadBlock(records);
    bus.SendCommand(static_cast<uint16_t>(5 * n + 2), 0xA3);
    bus.SendBuffer(static_cast<uint32_t>(block.size() / 3), block.data());
    bus.SendCommand(0x0000, 0xE6);
}

std::optional<std::string> AeqExportRefusal(const AeqRecords& records) {
    bool any = false;
    for (const AeqRecord& r : records) {
        if (!r.enabled)
            continue;
        any = true;
        if (!r.a0 && !r.a1 && !r.a2 && !r.b1 && !r.b2)
            return std::string("Filter include 'out of range' parameter.");
    }
    if (!any)
        return std::string("All the filters are disabled.");
    return std::nullopt;
}

std::string AeqProposedName(int32_t firmwareVersion, const AeqRecords& records) {
    const char* stem = "DLx000_x.xx";
    if (firmwareVersion == 0x0505)
        stem = "DL6000_5.05";
    else if (firmwareVersion == 0x0606)
        stem = "DL6000_6.06";
    else if (firmwareVersion == 0x0704)
        stem = "DL6000_7.04";
    return Format(records[0].rate == 0 ? "%s_48.aeq" : "%s_44.aeq", stem);
}

std::string AeqFileText(const AeqRecords& records) {
    unsigned long n = 0, sum = 0;
    for (const AeqRecord& r : records)
        if (r.enabled) {
            ++n;
            sum += r.shift;
        }
    std::string text = Format(" %lu \r\n", sum) + Format(" %lu \r\n", n);
    for (const AeqRecord& r : records) {
        if (!r.enabled)
            continue;
        text += "  \r\n";
        for (int32_t m : {r.a2, r.a0, r.a1, r.b2, r.b1})
            text += Format(" %.15f \r\n", static_cast<double>(m) / kMantissaScale);
    }
    return text;
}

std::string AeqCfgBytes(const AeqRecords& records) {
    std::string out;
    for (const AeqRecord& r : records) {
        PutLe(out, r.enabled, 4);
        for (int32_t m : {r.a0, r.a1, r.a2, r.b1, r.b2})
            PutLe(out, static_cast<uint32_t>(m), 4);
        PutLe(out, r.shift, 4); // shift and three reserved bytes
        PutLe(out, r.designed, 4);
        PutLe(out, r.type, 4);
        PutLe(out, r.rate, 4);
        PutLe(out, r.frequency, 4); // frequency and two reserved bytes
        PutLe(out, FloatBits(r.gain), 4);
        PutLe(out, FloatBits(r.q), 4);
    }
    out += " \n";
    out += "# DulmLoggerVer \"3.5.0.7\" \n";
    out += " \n";
    for (unsigned i = 0; i < records.size(); ++i) {
        const AeqRecord& r = records[i];
        out += Format("FilterIndex= %u \n", i);
        out += Format("FilterEnable= %u \n", r.enabled);
        out += Format("UseEqFilterParam= %u \n", r.designed);
        out += Format("EqFilterParam.Type= %u \n", r.type);
        out += Format("EqFilterParam.SampleRate= %u \n", r.rate);
        out += Format("EqFilterParam.Freq= %u \n", unsigned{r.frequency});
        out += Format("EqFilterParam.Gain= %.3f \n", double{r.gain});
        out += Format("EqFilterParam.Q= %.3f \n", double{r.q});
        const char* names[5] = {"a0", "a1", "a2", "b1", "b2"};
        for (int k = 0; k < 5; ++k)
            out += Format("BiquadParam.%s= %.15f \n", names[k], RealValue(r, k));
    }
    return out;
}

std::optional<AeqRecords> ParseAeqCfg(std::string_view bytes) {
    if (bytes.size() < kAeqRecordsBytes)
        return std::nullopt;
    AeqRecords records;
    for (size_t i = 0; i < records.size(); ++i) {
        const char* at = bytes.data() + i * kAeqRecordBytes;
        AeqRecord& r = records[i];
        r.enabled = GetLe(at, 4);
        r.a0 = static_cast<int32_t>(GetLe(at + 4, 4));
        r.a1 = static_cast<int32_t>(GetLe(at + 8, 4));
        r.a2 = static_cast<int32_t>(GetLe(at + 12, 4));
        r.b1 = static_cast<int32_t>(GetLe(at + 16, 4));
        r.b2 = static_cast<int32_t>(GetLe(at + 20, 4));
        r.shift = static_cast<uint8_t>(GetLe(at + 24, 1));
        r.designed = GetLe(at + 28, 4);
        r.type = GetLe(at + 32, 4);
        r.rate = GetLe(at + 36, 4);
        r.frequency = static_cast<uint16_t>(GetLe(at + 40, 2));
        r.gain = BitsFloat(GetLe(at + 44, 4));
        r.q = BitsFloat(GetLe(at + 48, 4));
    }
    return records;
}

bool WriteFileReplacing(const std::string& path, std::string_view bytes) {
    kvFM::KCStPath target(path);
    if (!target.IsValid())
        return false;
    return kvFM::WriteFileAtomically(target.GetPathRef(), bytes.data(), bytes.size()) == eNoErr;
}

} // namespace loggerui
