#include "audio/KCOnTheFlySRC.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <numbers>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace {

constexpr int kKaiserPoints = 5000;
constexpr long kSlotFloats = 8; // floats per ring frame

// Zeroth-order modified Bessel function of the first kind.
double BesselI0(double x) {
    double sum = 1.0, term = 1.0;
    const double q = x * x / 4.0;
    for (int k = 1; k < 200; ++k) {
        term *= q / (double(k) * double(k));
        sum += term;
        if (term < sum * 1e-17)
            break;
    }
    return sum;
}

// Kaiser window of beta 20 from its edge (j = 0) towards its centre, in
// single precision.
const std::array<float, kKaiserPoints>& KaiserTable() {
    static const std::array<float, kKaiserPoints> table = [] {
        std::array<float, kKaiserPoints> t{};
        const double norm = BesselI0(20.0);
        for (int j = 0; j < kKaiserPoints; ++j) {
            const double r = 1.0 - double(j) / kKaiserPoints;
            t[j] = static_cast<float>(BesselI0(20.0 * std::sqrt(1.0 - r * r)) / norm);
        }
        return t;
    }();
    return table;
}

long NextPowerOfTwo(long v) {
    long p = 1;
    while (p < v)
        p <<= 1;
    return p;
}

// Dot product of n floats.
inline float Dot(const float* a, const float* b, long n) {
    long j = 0;
    float total = 0.0f;
#if defined(__SSE__)
    __m128 acc0 = _mm_setzero_ps(), acc1 = _mm_setzero_ps();
    __m128 acc2 = _mm_setzero_ps(), acc3 = _mm_setzero_ps();
    for (; j + 16 <= n; j += 16) {
        acc0 = _mm_add_ps(acc0, _mm_mul_ps(_mm_loadu_ps(a + j), _mm_loadu_ps(b + j)));
        acc1 = _mm_add_ps(acc1, _mm_mul_ps(_mm_loadu_ps(a + j + 4), _mm_loadu_ps(b + j + 4)));
        acc2 = _mm_add_ps(acc2, _mm_mul_ps(_mm_loadu_ps(a + j + 8), _mm_loadu_ps(b + j + 8)));
        acc3 = _mm_add_ps(acc3, _mm_mul_ps(_mm_loadu_ps(a + j + 12), _mm_loadu_ps(b + j + 12)));
    }
    for (; j + 4 <= n; j += 4)
        acc0 = _mm_add_ps(acc0, _mm_mul_ps(_mm_loadu_ps(a + j), _mm_loadu_ps(b + j)));
    alignas(16) float part[4];
    _mm_store_ps(part, _mm_add_ps(_mm_add_ps(acc0, acc1), _mm_add_ps(acc2, acc3)));
    total = (part[0] + part[1]) + (part[2] + part[3]);
#endif
    for (; j < n; ++j)
        total += a[j] * b[j];
    return total;
}

} // namespace

KCOnTheFlySRC::KCOnTheFlySRC() : KUValidatable(eSomeThingNotInitailzed) {
    outSample = &KCOnTheFlySRC::OutputFrame<0>;
}

KCOnTheFlySRC::KCOnTheFlySRC(long in, long out, E_SRC_Flags f, long channelCount)
    : KCOnTheFlySRC() {
    Init(in, out, f, channelCount);
}

KCOnTheFlySRC::KCOnTheFlySRC(long in, long out, E_SRC_Flags f) : KCOnTheFlySRC() {
    if (in <= 0 || out <= 0)
        return;
    inRate = in;
    outRate = out;
    SetError(SetFilter(in, out, &halfLength, f));
    SetLengths();
}

KCOnTheFlySRC::KCOnTheFlySRC(const KCOnTheFlySRC& other) : KUValidatable(other) {
    CopyFrom(other);
}

KCOnTheFlySRC& KCOnTheFlySRC::operator=(const KCOnTheFlySRC& other) {
    if (this != &other) {
        KUValidatable::operator=(other);
        CopyFrom(other);
    }
    return *this;
}

KCOnTheFlySRC::~KCOnTheFlySRC() {
    Dispose();
}

void KCOnTheFlySRC::CopyFrom(const KCOnTheFlySRC& other) {
    outSample = other.outSample;
    inRate = other.inRate;
    outRate = other.outRate;
    channels = other.channels;
    halfLength = other.halfLength;
    inputLatency = other.inputLatency;
    filterLength = other.filterLength;
    tableSize = other.tableSize;
    cutoff = other.cutoff;
    step = other.step;
    stepD = other.stepD;
    readPos = other.readPos;
    writeCount = other.writeCount;
    gain = other.gain;
    increment = other.increment;
    phase = other.phase;
    flags = other.flags;
    phaseTaps = other.phaseTaps;
    ringMask = other.ringMask;
    history = other.history;
    historyFrames = other.historyFrames;
    tapsStep = other.tapsStep;
    tapsGain = other.tapsGain;

    // The copy owns its storage, whoever owned the source's.
    sincTable = window = nullptr;
    ring = nullptr;
    if (other.sincTable && other.window) {
        ownArray.assign(size_t(tableSize) + size_t(halfLength + 1), 0.0);
        std::copy(other.sincTable, other.sincTable + tableSize, ownArray.begin());
        std::copy(other.window, other.window + halfLength + 1, ownArray.begin() + tableSize);
        sincTable = ownArray.data();
        window = ownArray.data() + tableSize;
    }
    tapsTable = other.tapsTable ? sincTable : nullptr;
    if (other.ring) {
        const long floats = other.ringMask + 1;
        if (floats <= kRingFloats) {
            std::copy(other.ring, other.ring + floats, inlineRing.begin());
            ring = inlineRing.data();
        } else {
            largeRing.assign(other.ring, other.ring + floats);
            ring = largeRing.data();
        }
    }
}

KCOnTheFlySRC::OutputFunction KCOnTheFlySRC::ChooseOutput(long channelCount) const {
    switch (channelCount) {
    case 1:
        return &KCOnTheFlySRC::OutputFrame<1>;
    case 2:
        return &KCOnTheFlySRC::OutputFrame<2>;
    case 3:
        return &KCOnTheFlySRC::OutputFrame<3>;
    case 4:
        return &KCOnTheFlySRC::OutputFrame<4>;
    default:
        return &KCOnTheFlySRC::OutputFrame<0>;
    }
}

KTErr KCOnTheFlySRC::SetFilter(long in, long out, long* half, E_SRC_Flags f) {
    flags = f;
    const long lo = std::min(in, out);
    const long hi = std::max(in, out);
    long base;
    if (f == eSRCShortFilter)
        base = 33;
    else if (f == eSRCLongFilter && out <= 44100)
        base = 201;
    else if (lo <= 48000)
        base = 101;
    else if (lo <= 90000)
        base = 47;
    else
        base = 33;
    const long d = static_cast<long>(double(hi) / double(lo) * double(base) + 0.5);
    *half = d / 2;
    return eNoErr;
}

void KCOnTheFlySRC::SetLengths() {
    filterLength = 2 * halfLength + 1;
    inputLatency = halfLength + 16;
    tableSize = (halfLength + 1) * kTableResolution;
    cutoff = CalcCutoffCorrection(inRate, outRate);
}

double KCOnTheFlySRC::CalcCutoffCorrection(long in, long out) {
    const double m = double(std::min(in, out));
    const double x = m / 2.0;
    double w;
    if (m >= 90000)
        w = 16000;
    else if (m >= 64000)
        w = 10000;
    else if (m >= 48000)
        w = 2000;
    else
        w = 1000;
    return x > 0.0 ? (x - w) / x : 0.0;
}

void KCOnTheFlySRC::CalcTable(double* t, long n) const {
    if (n <= 0)
        return;
    t[0] = 1.0;
    for (long i = 1; i < n; ++i) {
        const double x = double(i) * cutoff * std::numbers::pi / double(kTableResolution);
        t[i] = std::sin(x) / x;
    }
}

void KCOnTheFlySRC::CalcWindow(double* w, long n) const {
    if (n <= 0)
        return;
    const auto& kaiser = KaiserTable();
    w[n - 1] = 1.0;
    for (long k = 0; k <= n - 2; ++k) {
        const long j = static_cast<long>(double(k) * kKaiserPoints / double(n - 1) + 0.5);
        w[k] = kaiser[std::min<long>(j, kKaiserPoints - 1)];
    }
}

bool KCOnTheFlySRC::SetParameters(long in, long out, E_SRC_Flags f, long channelCount) {
    Dispose();
    if (in <= 0 || out <= 0 || channelCount < 0 || channelCount > kMaxChannels)
        return false;
    inRate = in;
    outRate = out;
    channels = channelCount;
    outSample = ChooseOutput(channelCount);
    SetFilter(in, out, &halfLength, f);
    if (halfLength > kMaxHalfLength) {
        Dispose();
        return false;
    }
    SetLengths();
    return true;
}

void KCOnTheFlySRC::BuildTables(double* table, double* win, float* callerRing) {
    sincTable = table;
    window = win;
    CalcWindow(window, halfLength + 1);
    CalcTable(sincTable, tableSize);

    // The newest frame lies 2H + 18 frames ahead of the read position, and
    // an output step moves up to ceil(in / out) frames: a filter longer than
    // the 512-frame ring gets a ring of its own size.
    const long neededFrames =
        2 * halfLength + 20 + static_cast<long>(std::ceil(double(inRate) / double(outRate)));
    const long ringFloats = std::max(kRingFloats, NextPowerOfTwo(neededFrames) * kSlotFloats);
    if (ringFloats == kRingFloats) {
        ring = callerRing ? callerRing : inlineRing.data();
        std::vector<float>().swap(largeRing);
    } else {
        largeRing.assign(size_t(ringFloats), 0.0f);
        ring = largeRing.data();
    }
    ringMask = ringFloats - 1;
    historyFrames = ringFloats / kSlotFloats;
    history.assign(size_t(std::max(channels, 1L)) * 2 * size_t(historyFrames), 0.0f);
}

void KCOnTheFlySRC::BuildPhaseTaps() {
    // Row a holds the 2H + 1 weights of fractional position a / S, gain
    // included: left taps k = 0..H use sinc[(H - k) S + a] w[k], right taps
    // 2H + 1 - k (k = 1..H) use sinc[(H - k + 1) S - a] w[k].
    const long h = halfLength;
    const long m = filterLength;
    const long s = step;
    phaseTaps.assign(size_t(s) * size_t(m), 0.0f);
    for (long a = 0; a < s; ++a) {
        float* row = phaseTaps.data() + a * m;
        for (long k = 0; k <= h; ++k)
            row[k] = static_cast<float>(gain * sincTable[(h - k) * s + a] * window[k]);
        for (long k = 1; k <= h; ++k)
            row[2 * h + 1 - k] =
                static_cast<float>(gain * sincTable[(h - k + 1) * s - a] * window[k]);
    }
}

KTErr KCOnTheFlySRC::Init(long in, long out, E_SRC_Flags f, long channelCount) {
    const bool same = GetError() == eNoErr && sincTable && in == inRate && out == outRate &&
                      f == flags && channelCount == channels;
    if (!same) {
        if (!SetParameters(in, out, f, channelCount)) {
            SetError(eGenericErr);
            return GetError();
        }
        try {
            ownArray.assign(size_t(halfLength + 1) * (kTableResolution + 1), 0.0);
            BuildTables(ownArray.data(), ownArray.data() + tableSize, nullptr);
        } catch (const std::bad_alloc&) {
            Dispose();
            SetError(eMemNewFailed);
            return GetError();
        }
        SetError(eNoErr);
    }
    InitFilter();
    return GetError();
}

KTErr KCOnTheFlySRC::InitPreallocated(long in, long out, E_SRC_Flags f, long channelCount,
                                      double* table, double* win, float* callerRing) {
    if (!table || !win || !callerRing) {
        SetError(eMemNullPointer);
        return GetError();
    }
    if (!SetParameters(in, out, f, channelCount)) {
        SetError(eGenericErr);
        return GetError();
    }
    try {
        BuildTables(table, win, callerRing);
    } catch (const std::bad_alloc&) {
        Dispose();
        SetError(eMemNewFailed);
        return GetError();
    }
    SetError(eNoErr);
    InitFilter();
    return GetError();
}

void KCOnTheFlySRC::Dispose() {
    SetError(eSomeThingNotInitailzed);
    outSample = &KCOnTheFlySRC::OutputFrame<0>;
    inRate = outRate = channels = 0;
    halfLength = inputLatency = filterLength = tableSize = 0;
    cutoff = 0.0;
    sincTable = window = nullptr;
    ring = nullptr;
    ringMask = 0;
    historyFrames = 0;
    tapsStep = 0;
    tapsGain = 0.0;
    tapsTable = nullptr;
    step = 0;
    stepD = 0.0;
    readPos = writeCount = 0;
    gain = increment = phase = 0.0;
    flags = static_cast<E_SRC_Flags>(-1);
}

void KCOnTheFlySRC::InitFilter() {
    if (!ring || inRate <= 0 || outRate <= 0)
        return;
    std::fill(ring, ring + ringMask + 1, 0.0f);
    std::fill(history.begin(), history.end(), 0.0f);
    if (outRate >= inRate) {
        step = kTableResolution;
        gain = cutoff;
    } else {
        step = static_cast<long>(double(kTableResolution) * double(outRate) / double(inRate) + 0.5);
        gain = cutoff * double(outRate) / double(inRate);
    }
    stepD = double(step);
    increment = double(inRate) / double(outRate);
    readPos = 0;
    writeCount = filterLength + 16;
    phase = 0.0;
    // The tap rows depend only on the setting: rebuilt when it changed.
    if (tapsStep != step || tapsGain != gain || tapsTable != sincTable) {
        BuildPhaseTaps();
        tapsStep = step;
        tapsGain = gain;
        tapsTable = sincTable;
    }
}

void KCOnTheFlySRC::ReadSample(float sample) {
    if (!ring)
        return;
    const long slot = (readPos + kSlotFloats * (writeCount + 1)) & ringMask;
    ring[slot] = sample;
    const long f = slot / kSlotFloats;
    history[size_t(f)] = history[size_t(f + historyFrames)] = sample;
    ++writeCount;
}

void KCOnTheFlySRC::ReadSample(const float* frame) {
    if (!ring)
        return;
    const long slot = (readPos + kSlotFloats * (writeCount + 1)) & ringMask;
    std::memcpy(ring + slot, frame, sizeof(float) * size_t(channels));
    const long f = slot / kSlotFloats;
    for (long c = 0; c < channels; ++c) {
        float* h = history.data() + c * 2 * historyFrames;
        h[f] = h[f + historyFrames] = frame[c];
    }
    ++writeCount;
}

void KCOnTheFlySRC::Advance(long& need) {
    const double v = increment + phase;
    const double n = std::floor(v);
    phase = v - n;
    const long advance = static_cast<long>(n);
    writeCount -= advance;
    readPos = (readPos + kSlotFloats * advance) & ringMask;
    need = advance;
}

// Sums the filter over the frames readPos .. readPos + 2H. Each channel's
// recent frames are also kept contiguous (written twice, one history length
// apart), so a channel's sum is one dot product with the phase's tap row.
// Channels is the channel count, or 0 for any count (taken from the setting).
template <int Channels>
void KCOnTheFlySRC::OutputFrame(long& need, float* frame) {
    const long count = Channels > 0 ? Channels : channels;
    if (!ring || phaseTaps.empty()) {
        std::fill(frame, frame + count, 0.0f);
        need = 1;
        return;
    }
    const long a = std::min(static_cast<long>(stepD * phase), step - 1);
    const float* taps = phaseTaps.data() + a * filterLength;
    const float* first = history.data() + readPos / kSlotFloats;
    for (long c = 0; c < count; ++c)
        frame[c] = Dot(taps, first + c * 2 * historyFrames, filterLength);
    Advance(need);
}

long KCOnTheFlySRC::RateConvertLength(long inFrames) const {
    if (inRate <= 0 || outRate <= 0)
        return 0;
    if (inRate == outRate)
        return inFrames;
    return static_cast<long>(
        std::ceil(double(outRate) / double(inRate) * double(inFrames + 2 * inputLatency)));
}

long KCOnTheFlySRC::RateUnConvertLength(long outFrames) const {
    if (inRate <= 0 || outRate <= 0)
        return 0;
    if (inRate == outRate)
        return outFrames;
    const long n =
        static_cast<long>(std::ceil(double(inRate) / double(outRate) * double(outFrames))) -
        2 * inputLatency;
    return std::max(0L, n);
}

long KCOnTheFlySRC::GetOutputLatency() const {
    if (inRate <= 0 || outRate <= 0)
        return 0;
    if (inRate == outRate)
        return inputLatency;
    return static_cast<long>(std::ceil(double(outRate) / double(inRate) * 3.0 * inputLatency));
}

KTErr KCOnTheFlySRC::Convert(const float* in, float* out, long inFrames, long* latency) {
    if (!IsValid() || channels != 1)
        return eWrongObjectState;
    const long limit = RateConvertLength(inFrames);
    long produced = 0;
    long need = 0;
    auto push = [&](float sample) {
        ReadSample(sample);
        while (produced < limit && need == 0)
            OutSample(need, out + produced++);
        --need;
    };
    for (long i = 0; i < inFrames; ++i)
        push(in[i]);
    for (long i = 0; i < 2 * inputLatency; ++i)
        push(0.0f);
    if (latency)
        *latency = static_cast<long>(
            std::floor(double(outRate) / double(inRate) * double(inputLatency + 2) + 0.5));
    return eNoErr;
}

long SampleRateConvertLength(long inFrames, long inRate, long outRate, E_SRC_Flags flags) {
    return KCOnTheFlySRC(inRate, outRate, flags).RateConvertLength(inFrames);
}

KTErr RateConvertFIR(const float* in, float* out, long inFrames, long inRate, long outRate,
                     E_SRC_Flags flags, long* latency, double* table, double* window, float* ring) {
    KCOnTheFlySRC src;
    if (table)
        src.InitPreallocated(inRate, outRate, flags, 1, table, window, ring);
    else
        src.Init(inRate, outRate, flags, 1);
    KTErr status = eNoErr;
    if (src.IsValid(status))
        status = src.Convert(in, out, inFrames, latency);
    return status;
}
