// The filter design of the algorithm object: band sections, the output
// stages, the sub-woofer sections, the Q1.23 encoding, the gain-stage rule
// and the response graphs.
#include "plugin/FilterDesign.h"
#include "plugin/PeqAlg.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <numbers>

using namespace dulm;

namespace {

constexpr double kQ23Scale = 8388608.0; // 2^23
constexpr uint32_t kQ23Max = 0x7FFFFF;
constexpr uint32_t kQ23Min = 0x800000;
constexpr double kLowShelfQFrequency = 101.594;
constexpr double kLowShelfQLimit = 1.019;
constexpr int16_t kMaxBandShift = 6;
constexpr double kNyquistFraction = 0.4999;
constexpr double kGraphBottomDb = -30.0;
// Output o's stage starts at o x stage length + this position.
constexpr long kOutputStageBase = 5 * (cPEQ_ALG::kBandCount + 1) - 13;

double SafeRatio(double a, double b) {
    return b != 0 && std::isfinite(a / b) ? a / b : 1.0;
}

} // namespace

uint32_t Q23Code(double x) {
    if (std::isnan(x))
        return 0;
    if (x >= 1.0)
        return kQ23Max;
    if (x < -1.0)
        return kQ23Min;
    if (x > 0)
        return std::min(static_cast<uint32_t>(std::floor(x * kQ23Scale + 0.5)), kQ23Max);
    const uint32_t magnitude = static_cast<uint32_t>(std::floor(std::fabs(x) * kQ23Scale + 0.5));
    return ((~magnitude & 0xFFFFFF) + 1) & 0xFFFFFF;
}

void AppendQ23(std::vector<uint8_t>& bytes, double x) {
    const uint32_t code = Q23Code(x);
    bytes.push_back(static_cast<uint8_t>(code));
    bytes.push_back(static_cast<uint8_t>(code >> 8));
    bytes.push_back(static_cast<uint8_t>(code >> 16));
}

void GainStage(double* gain, int16_t* shift) {
    double g = *gain;
    if (std::isnan(g))
        g = 0.0;
    else if (std::isinf(g))
        g = g > 0 ? DBL_MAX : 0.0;
    int16_t s = 0;
    while (g > 1.0) {
        g /= 2;
        ++s;
    }
    if (s == 0) {
        g /= 2;
        s = 1;
    }
    *gain = g;
    *shift = s;
}

extern "C" void dbToGainStage(double* dB, int16_t* shift) {
    *dB = dbToGain(*dB);
    GainStage(dB, shift);
}

void cPEQ_ALG::Bell(double gain, double f, double q, double fs, BIQUAD& s) {
    const double K = std::tan(std::numbers::pi * f / fs);
    const double A = std::sqrt(dbToGain(gain));
    BilinearSection(K * K * q, A * K, q, K * K * q, K / A, q, s);
}

void cPEQ_ALG::Shelf(int32_t flag, double gain, double f, double q, double fs, BIQUAD& s) {
    const double K = std::tan(std::numbers::pi * f / fs);
    const double A = dbToGain(gain), R = std::sqrt(A), E = std::pow(A, 0.25);
    if (f < kLowShelfQFrequency)
        q = std::min(q, kLowShelfQLimit);
    const double L = q * K * K;
    if (flag == 0)
        BilinearSection(L * R, E * K, q, L / R, K / E, q, s);
    else
        BilinearSection(L, E * K, q * R, L, K / E, q / R, s);
}

double cPEQ_ALG::LimitBandShelfQ(unsigned long qIndex) {
    double q = Value(qIndex);
    const double limited = std::clamp(q, shelfQLimits_[1], shelfQLimits_[0]);
    if (limited != q)
        SetValueAndFlag(qIndex, limited);
    return limited;
}

double cPEQ_ALG::LimitShelfQ(unsigned long index) {
    const double q = Value(index);
    const double limited = std::clamp(q, shelfQLimits2_[0], shelfQLimits2_[1]);
    if (limited != q)
        SetValueAndFlag(index, limited);
    return limited;
}

void cPEQ_ALG::DesignBandSection(int32_t band, int32_t type, bool on, double gain, double f,
                                 double q, int32_t marker, BIQUAD& s) {
    const double fs = GetSampleRate();
    const bool active = on && Enabled(PARAM_PEQ_BYPASS);
    const unsigned long qIndex = static_cast<unsigned long>(band * kBandFields + kBandQ);
    s.SetIdentity();
    auto reference = [&](double hz, int32_t m) {
        s.graphFreq = Translate_Frequency(hz, fs);
        s.marker = m;
    };
    switch (type) {
    case 0:
        if (active) {
            Bell(gain, f, q, fs, s);
            reference(f, marker);
        }
        break;
    case 1:
    case 2:
        q = LimitBandShelfQ(qIndex);
        if (active) {
            Shelf(type - 1, gain, f, q, fs, s);
            if (band < bandCount_ / 2)
                reference(shelfGraphEdges_[0], 0);
            else
                reference(shelfGraphEdges_[1], 1000);
        }
        break;
    case 3:
    case 4:
        if (active) {
            O2Butterworth(type - 3, f, s, fs);
            reference(butterworthEdges_[type == 3 ? 1 : 0], type == 3 ? 1000 : 0);
        }
        break;
    default:
        break;
    }
}

void cPEQ_ALG::WriteCoef(char*& p, double value) {
    if (p)
        p += WriteDouble(value * coefScale_, p);
}

void cPEQ_ALG::WriteInt(char*& p, int32_t value) {
    if (p)
        p += WriteInteger(value, p);
}

BUFFER_HEADER* cPEQ_ALG::BufferOf(long position, long count) {
    if (processActive_ == 0 || bypass_ != 0)
        return nullptr;
    BUFFER_HEADER* b = NewBuffer(activeSetup_, position, count);
    if (b)
        std::memcpy(b->Data(), GetPointerToCoef(activeSetup_, position), b->size);
    return b;
}

BUFFER_HEADER* cPEQ_ALG::DesignBand(int32_t a, bool send) {
    if (a < 0 || a >= bandCount_)
        return nullptr;
    SDesignBlock& d = Active();
    const unsigned long f = static_cast<unsigned long>(a * kBandFields);
    const bool on = a < activeBandCount_ && std::trunc(Value(f + kBandState)) != 0;
    const int32_t type = static_cast<int32_t>(std::trunc(Value(f + kBandType)));
    double freq = Value(f + kBandFreq);
    sCONTROL_PARAM* freqParam = ParamAt(f + kBandFreq);
    int32_t marker = freqParam ? static_cast<int32_t>(freqParam->state[activeSetup_]) : 0;
    const double fs = GetSampleRate();
    if (freq > kNyquistFraction * fs) {
        freq = kNyquistFraction * fs;
        SetValueAndFlag(f + kBandFreq, freq);
        marker = freqParam ? static_cast<int32_t>(freqParam->state[activeSetup_]) : 0;
    }
    if (sCONTROL_PARAM* p = ParamAt(f + kBandState))
        p->state[activeSetup_] = on ? 1 : 0;
    if (sCONTROL_PARAM* p = ParamAt(f + kBandType))
        p->state[activeSetup_] = type;
    const bool edge = a == 0 || a == bandCount_ - 1;
    if (edge)
        d.edge[a == 0 ? 0 : 1].SetIdentity();
    BIQUAD& section = d.sections[0][a];
    DesignBandSection(a, type, on, Value(f + kBandGain), freq, Value(f + kBandQ), marker, section);
    BIQUAD& extra = d.sections[0][bandCount_];
    DoubleOrd1(d.edge[0], d.edge[1], extra);
    if (IsNative()) {
        section.shift = 0;
        extra.shift = 0;
    } else {
        Normalise_EqSec(section);
        Normalise_EqSec(extra);
    }
    int sum = 0;
    for (int32_t b = 0; b < bandCount_; ++b)
        if (bandPositionMap_[b] != -1)
            sum += d.sections[0][b].shift;
    d.bandShift[0] = static_cast<int16_t>(std::min<int>(sum, kMaxBandShift));
    d.normaliser[0] = IsNative() ? 1.0 : 0.125;
    UpdateBandResponse(a);

    BUFFER_HEADER* chain = nullptr;
    if (!edge) {
        const long position = 5L * bandPositionMap_[a] + 2;
        const double n = a == normaliserBand_ ? d.normaliser[0] : 1.0;
        char* p = GetPointerToCoef(activeSetup_, position);
        WriteCoef(p, section.b0 * n);
        WriteCoef(p, section.b1 * n);
        WriteCoef(p, section.b2 * n);
        WriteCoef(p, section.a2);
        WriteCoef(p, section.a1);
        if (send)
            chain = BufferOf(position, 5);
    }
    return ChainBufs(chain, DesignOutputStage(0, send));
}

BUFFER_HEADER* cPEQ_ALG::DesignOutputStage(int32_t o, bool send) {
    if (o < 0 || o >= outputCount_)
        return nullptr;
    SDesignBlock& d = Active();
    // An output whose sections carry no normaliser uses 1.
    const double n = d.normaliser[o] != 0 ? d.normaliser[o] : 1.0;
    const double g = dbToGain(Value(PARAM_OUT_GAIN_L + o)) / n;
    const BIQUAD& last = d.sections[o][bandCount_ - 1];
    const double m = std::max({last.b0, last.b1, last.b2});
    const double inv = SafeRatio(1.0, m);
    const double M = m > 0 && inv > 1 ? inv : 1.0;
    double G = std::ldexp(g, d.bandShift[o]) / M;
    if (!IsNative()) {
        int16_t shift = 0;
        GainStage(&G, &shift);
        d.stageShift[o] = shift;
    }
    if (1.0 / M > G) {
        d.preGain[o] = 1.0 / M;
        d.postGain[o] = G * M;
    } else {
        d.preGain[o] = G;
        d.postGain[o] = 1.0;
    }
    const long position = o * stageLength_ + kOutputStageBase;
    char* p = GetPointerToCoef(activeSetup_, position);
    const BIQUAD& first = d.sections[o][0];
    const double firstScale = d.preGain[o] * (normaliserBand_ == 0 ? n : 1.0);
    const BIQUAD& extra = d.sections[o][bandCount_];
    const struct {
        const BIQUAD& s;
        double scale;
    } parts[] = {{first, firstScale}, {last, M}, {extra, d.postGain[o]}};
    for (const auto& part : parts) {
        WriteCoef(p, part.s.b0 * part.scale);
        WriteCoef(p, part.s.b1 * part.scale);
        WriteCoef(p, part.s.b2 * part.scale);
        WriteCoef(p, part.s.a2);
        WriteCoef(p, part.s.a1);
    }
    WriteInt(p, 1);
    WriteInt(p, d.stageShift[o]);
    return send ? BufferOf(position, 17) : nullptr;
}

void cPEQ_ALG::DesignSubwooferSection(int32_t band, BIQUAD& s) {
    const unsigned long f =
        static_cast<unsigned long>(PARAM_SUBEQ_BAND1_STATE + band * kBandFields);
    const bool on = std::trunc(Value(f + kBandState)) == 1;
    const int32_t type = static_cast<int32_t>(std::trunc(Value(f + kBandType)));
    double q = Value(f + kBandQ);
    if (type == 1 || type == 2)
        q = LimitBandShelfQ(f + kBandQ);
    const double fs = Value(PARAM_SAMPLE) == 1 ? 44100.0 : 48000.0;
    s.SetIdentity();
    if (on) {
        const double freq = std::clamp(Value(f + kBandFreq), 16.0, kNyquistFraction * fs);
        const double gain = Value(f + kBandGain);
        if (type == 0)
            Bell(gain, freq, q, fs, s);
        else if (type == 1 || type == 2)
            Shelf(type - 1, gain, freq, q, fs, s);
        else if (type == 3 || type == 4)
            O2Butterworth(type - 3, freq, s, fs);
        Normalise_EqSec(s);
    }
    s.b0 /= 2;
    s.b1 /= 2;
    s.b2 /= 2;
    s.a1 /= 2;
    s.a2 /= 2;
    subShift_[band & 1] = static_cast<uint16_t>(s.shift);
}

void cPEQ_ALG::UpdateBandResponse(int32_t band) {
    SDesignBlock& d = Active();
    const BIQUAD& s = d.sections[0][band];
    const int markerPoint =
        static_cast<int>(std::lround(std::clamp(s.marker, 0, 1000) * (kGraphPoints - 1) / 1000.0));
    for (int k = 0; k < kGraphPoints; ++k) {
        const double floor = k == markerPoint ? 1e-5 : 1e-10;
        const double mag = std::max(BiquadSqMag(s, z1_[k], z2_[k]), floor);
        const double dB = std::isfinite(mag) ? 10.0 * std::log10(mag) : 0.0;
        d.summed[k] += dB - d.bandResponse[band][k];
        d.bandResponse[band][k] = dB;
    }
}

bool cPEQ_ALG::IsGraphVisible(int32_t graph) {
    if (Value(PARAM_SHOW_GRAPH_PEQ + graph) == 0)
        return false;
    // Before a chip is known the total curve shows the design.
    return graph == 0 || IsChip5010Plus() || (graph == 2 && !IsValidChipVersion());
}

void cPEQ_ALG::UpdateResponseGraph(int32_t graph) {
    static const unsigned long params[] = {PARAM_GRAPH_PEQ, PARAM_GRAPH_AEQ, PARAM_GRAPH_TOTAL};
    if (graph < 0 || graph > 2)
        return;
    sCONTROL_PARAM* p = ParamAt(params[graph]);
    if (!p)
        return;
    std::vector<double>& points = p->graph[activeSetup_];
    const bool visible = IsGraphVisible(graph);
    const SDesignBlock& d = Active();
    for (size_t k = 0; k < points.size() && k < static_cast<size_t>(kGraphPoints); ++k) {
        const double peq = graph != 1 ? d.summed[k] : 0.0;
        const double aeq = graph != 0 ? aeqResponse_[k] : 0.0;
        points[k] = visible ? std::max(peq + aeq, kGraphBottomDb) : kGraphBottomDb;
    }
}

uint32_t* cPEQ_ALG::SectionState(int32_t setup, int32_t output, int32_t section) {
    if (setup < 0 || setup >= kNumSetups || output < 0 || output >= kMaxOutputs || section < -1 ||
        section > bandCount_)
        return nullptr;
    SDesignBlock& d = design_[setup];
    return section < 0 ? d.outputState[output] : d.sectionState[output][section];
}

void cPEQ_ALG::ResetDesignBlocks() {
    const double reference = Translate_Frequency(shelfGraphEdges_[0], GetSampleRate());
    for (SDesignBlock& d : design_) {
        for (BIQUAD& s : d.outputSection)
            s.SetIdentity();
        for (auto& output : d.sections)
            for (BIQUAD& s : output) {
                s.SetIdentity();
                s.marker = 0;
                s.graphFreq = reference;
            }
        std::memset(d.outputState, 0, sizeof d.outputState);
        std::memset(d.sectionState, 0, sizeof d.sectionState);
        std::memset(d.bandResponse, 0, sizeof d.bandResponse);
        std::memset(d.summed, 0, sizeof d.summed);
    }
    // The graph points are the plug-in's own dB values: the axes only fill
    // the evaluation points.
    KUInit_ZPlain_Axes(kGraphPoints, nullptr, z1_, z2_, GetSampleRate(), 500.0);
}
