#include "audio/KCOnTheFlySRC.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <numbers>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE__)
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

// Tap rows and channel histories are padded to a multiple of this many
// floats (with zero taps), so the dot products need no scalar tail.
constexpr long kTapAlign = 16;

long RoundUpToTapAlign(long n) {
    return (n + kTapAlign - 1) / kTapAlign * kTapAlign;
}

// Tap rows start on cache-line boundaries (rows of whole 16-float groups stay
// on them), so that no load of taps straddles two lines.
constexpr long kTapsAlignFloats = 64 / sizeof(float);

long TapsOffset(const std::vector<float>& taps) {
    const auto address = reinterpret_cast<uintptr_t>(taps.data());
    return long((64 - address % 64) % 64 / sizeof(float));
}

// Moves phase on by increment and returns the whole frames passed (the
// floor of increment + phase). That floor is the increment's or one more
// (phase < 1), found by comparisons: shorter than a conversion there and
// back on the chain from one phase to the next. Rounding may reach the next
// whole number, which the conversion handles.
inline long NextPhase(double increment, double& phase) {
    const double v = increment + phase;
    const long whole = static_cast<long>(increment);
    const double wholeD = double(whole);
    long advance = whole;
    double floorV = wholeD;
    if (v >= wholeD + 1.0) {
        advance = whole + 1;
        floorV = wholeD + 1.0;
        if (v >= wholeD + 2.0) {
            advance = static_cast<long>(v); // v >= 0: truncation is the floor
            floorV = double(advance);
        }
    }
    phase = v - floorV;
    return advance;
}

// NextPhase step after step, carrying the sum increment + phase from one
// step to the next: with advance the whole frames passed, the next sum
// increment + (sum - advance) equals sum + (increment - advance), so where
// increment - advance is exact (by Sterbenz's lemma, where the increment is
// at least half of advance) one addition rounds the same value, and only
// that addition is on the chain from step to step. Elsewhere it steps as
// NextPhase does.
class PhaseSteps {
public:
    PhaseSteps(double increment, double phase)
        : inc(increment), whole(static_cast<long>(increment)), wholeD(double(whole)),
          nextD(wholeD + 1.0), carry(increment >= nextD / 2.0), stay(increment - wholeD),
          move(increment - nextD), current(phase), sum(increment + phase) {}
    double Phase() const { return current; }
    long Step() {
        long advance;
        double rest;
        if (sum >= nextD) {
            if (sum >= wholeD + 2.0) { // rounding reached the next whole number
                advance = static_cast<long>(sum);
                current = sum - double(advance);
                sum = inc + current;
                return advance;
            }
            advance = whole + 1;
            current = sum - nextD;
            rest = move;
        } else {
            advance = whole;
            current = sum - wholeD;
            rest = stay;
        }
        if (carry)
            sum += rest;
        else
            sum = inc + current;
        return advance;
    }

private:
    double inc;
    long whole;
    double wholeD, nextD;
    bool carry;
    double stay, move; // increment less the whole frames passed
    double current, sum;
};

// The state of a two-channel stream that a block of frames moves on, with
// the setting it needs. Positions count frames.
struct StereoStream {
    const float* taps;
    long tapStride;
    long step;
    double stepD;
    double increment;
    float* history; // left channel; the right one historyStride floats on
    long historyFrames;
    long historyStride;
    float* ring;
    long readFrame;
    long writeCount;
    long ready; // writeCount from which the next output's frames are all in
    double phase;
};

// Pushes n two-channel frames to consecutive ring slots from slot and to
// each channel's history from l and r (and again a history length on).
inline void PushStereo(const float* in, long n, float* slot, float* l, float* r, long length) {
    for (long i = 0; i < n; ++i, in += 2, slot += kSlotFloats) {
        std::memcpy(slot, in, 2 * sizeof(float));
        l[i] = l[i + length] = in[0];
        r[i] = r[i + length] = in[1];
    }
}

// The outputs one pass of StereoBlock sums: the tap row and the read
// position (ring frame) of each, in output order.
struct OutputPlan {
    static constexpr int kMax = 512;
    const float* rows[kMax];
    long frames[kMax];
};

// Where the two channels' histories lie.
struct StereoHistory {
    const float* left; // frame f at left[f] and left[f + frames]
    long ys;           // floats from a left frame to the same right frame
    long frames;       // ring frames (a power of two)
    long tapStride;
};

// Process for two channels with the filter sums inlined. Frames are pushed
// as ReadSample does, as many at a time as the ring holds beyond the frames
// still to be read; then every output whose frames are all in is written,
// as OutSample does: an output needs the frames up to ready past its read
// position, whichever way they came. Pair::SumPlan sums the planned outputs
// in any grouping, each with the same operations in the same order as the
// frame-by-frame output. At most limit outputs are written.
template <class Pair>
long StereoBlock(StereoStream& s, const float* in, long inFrames, float* out, long limit) {
    const float* const taps = s.taps;
    const long tapStride = s.tapStride;
    const long lastRow = s.step - 1;
    const double stepD = s.stepD;
    float* const left = s.history;
    float* const right = s.history + s.historyStride;
    const long historyFrames = s.historyFrames;
    const long frameMask = historyFrames - 1;
    float* const ring = s.ring;
    const long ready = s.ready;
    const StereoHistory history{left, s.historyStride, historyFrames, tapStride};
    long readFrame = s.readFrame;
    long writeCount = s.writeCount;
    PhaseSteps steps(s.increment, s.phase);
    long produced = 0;
    OutputPlan plan;
    for (;;) {
        for (;;) {
            int count = 0;
            while (count < OutputPlan::kMax && writeCount >= ready && produced + count < limit) {
                const long a = std::min(static_cast<long>(stepD * steps.Phase()), lastRow);
                plan.rows[count] = taps + a * tapStride;
                plan.frames[count] = readFrame;
                ++count;
                const long advance = steps.Step();
                writeCount -= advance;
                readFrame = (readFrame + advance) & frameMask;
            }
            if (count == 0)
                break;
            Pair::SumPlan(plan, count, history, out);
            out += 2 * count;
            produced += count;
        }
        if (inFrames == 0)
            break;
        // The frames go to consecutive slots, wrapping at the ring's end.
        long chunk = std::min(inFrames, std::max(1L, historyFrames - 1 - writeCount));
        inFrames -= chunk;
        long f = (readFrame + writeCount + 1) & frameMask;
        writeCount += chunk;
        while (chunk > 0) {
            const long run = std::min(chunk, historyFrames - f);
            Pair::Push(in, run, ring + f * kSlotFloats, left + f, right + f, historyFrames);
            in += 2 * run;
            chunk -= run;
            f = 0;
        }
    }
    s.readFrame = readFrame;
    s.writeCount = writeCount;
    s.phase = steps.Phase();
    return produced;
}

// Dot products of n floats, n a multiple of kTapAlign: one channel, and two
// channels sharing one tap row.
using DotFunction = float (*)(const float* taps, const float* x, long n);
using DotPairFunction = void (*)(const float* taps, const float* x, const float* y, long n,
                                 float* out);

float DotPortable(const float* a, const float* b, long n) {
    float total = 0.0f;
    long j = 0;
#if defined(__SSE__)
    __m128 acc0 = _mm_setzero_ps(), acc1 = _mm_setzero_ps();
    for (; j + 8 <= n; j += 8) {
        acc0 = _mm_add_ps(acc0, _mm_mul_ps(_mm_loadu_ps(a + j), _mm_loadu_ps(b + j)));
        acc1 = _mm_add_ps(acc1, _mm_mul_ps(_mm_loadu_ps(a + j + 4), _mm_loadu_ps(b + j + 4)));
    }
    alignas(16) float part[4];
    _mm_store_ps(part, _mm_add_ps(acc0, acc1));
    total = (part[0] + part[1]) + (part[2] + part[3]);
#endif
    for (; j < n; ++j)
        total += a[j] * b[j];
    return total;
}

void DotPairPortable(const float* taps, const float* x, const float* y, long n, float* out) {
    out[0] = DotPortable(taps, x, n);
    out[1] = DotPortable(taps, y, n);
}

#if defined(__x86_64__)
#define KV_SRC_AVX2 __attribute__((target("avx2,fma")))
#define KV_SRC_AVX512 __attribute__((target("avx512f,avx2,fma")))

// Vectors pass between the inlined pieces below only, never through a call
// (-Wpsabi); GCC 12's 512-bit extracts pass an undefined vector for their
// unused mask operand, which -Wuninitialized (or, once inlined into a
// loop, -Wmaybe-uninitialized) reports.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// The operations the filter sums need, on vectors of 8 floats (AVX2) and
// of 16 (AVX-512). Sum adds up the lanes; SumPair sums the lanes of x into
// out[0] and those of y into out[1]; SumPairs does that for kBatch pairs,
// the sums of x[b] and y[b] going to outs[b][0] and outs[b][1]. All add
// the lanes in the same order: the upper half of the vector onto the lower
// until four remain, u0..u3, then (u0 + u2) + (u1 + u3); so a pair summed
// alone and in a batch give the same floats.
struct Avx2Lanes {
    using Vector = __m256;
    static constexpr long kWidth = 8;
    static constexpr int kBatch = 2;
    // Whether outputs a width apart are worth grouping to share their
    // history vectors (SumPlanRuns).
    static constexpr bool kShareRuns = false;
    KV_SRC_AVX2 static Vector Zero() { return _mm256_setzero_ps(); }
    KV_SRC_AVX2 static Vector Load(const float* p) { return _mm256_loadu_ps(p); }
    KV_SRC_AVX2 static Vector MulAdd(Vector a, Vector b, Vector c) {
        return _mm256_fmadd_ps(a, b, c);
    }
    KV_SRC_AVX2 static Vector Add(Vector a, Vector b) { return _mm256_add_ps(a, b); }
    KV_SRC_AVX2 static void Store(float* p, Vector v) { _mm256_storeu_ps(p, v); }
    // kWidth two-channel frames from in, as one vector per channel.
    KV_SRC_AVX2 static void Split(const float* in, Vector& l, Vector& r) {
        const __m256 a = _mm256_loadu_ps(in), b = _mm256_loadu_ps(in + 8);
        // [l0 l1 l4 l5 | l2 l3 l6 l7] (a holds frames 0 to 3, b 4 to 7), put in order
        const __m256 even = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
        const __m256 odd = _mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1));
        l = _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(even), 0xD8));
        r = _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(odd), 0xD8));
    }
    KV_SRC_AVX2 static void SumPair(Vector x, Vector y, float* out) {
        const __m128 ux = _mm_add_ps(_mm256_castps256_ps128(x), _mm256_extractf128_ps(x, 1));
        const __m128 uy = _mm_add_ps(_mm256_castps256_ps128(y), _mm256_extractf128_ps(y, 1));
        // [ux0 + ux2, ux1 + ux3, uy0 + uy2, uy1 + uy3]
        const __m128 p = _mm_add_ps(_mm_shuffle_ps(ux, uy, _MM_SHUFFLE(1, 0, 1, 0)),
                                    _mm_shuffle_ps(ux, uy, _MM_SHUFFLE(3, 2, 3, 2)));
        _mm_storel_pi(reinterpret_cast<__m64*>(out), _mm_hadd_ps(p, p));
    }
    KV_SRC_AVX2 static void SumPairs(const Vector* x, const Vector* y, float* const* outs) {
        // [ux | uy] for each pair
        const __m256 r0 = _mm256_add_ps(_mm256_permute2f128_ps(x[0], y[0], 0x20),
                                        _mm256_permute2f128_ps(x[0], y[0], 0x31));
        const __m256 r1 = _mm256_add_ps(_mm256_permute2f128_ps(x[1], y[1], 0x20),
                                        _mm256_permute2f128_ps(x[1], y[1], 0x31));
        // [x0: u0 + u2, u1 + u3, x1: u0 + u2, u1 + u3 | the same for y0, y1]
        const __m256 t = _mm256_add_ps(_mm256_shuffle_ps(r0, r1, _MM_SHUFFLE(1, 0, 1, 0)),
                                       _mm256_shuffle_ps(r0, r1, _MM_SHUFFLE(3, 2, 3, 2)));
        // [x0, x1, x0, x1 | y0, y1, y0, y1]
        const __m256 h = _mm256_hadd_ps(t, t);
        const __m128 v = _mm_unpacklo_ps(_mm256_castps256_ps128(h), _mm256_extractf128_ps(h, 1));
        _mm_storel_pi(reinterpret_cast<__m64*>(outs[0]), v);
        _mm_storeh_pi(reinterpret_cast<__m64*>(outs[1]), v);
    }
    KV_SRC_AVX2 static float Sum(Vector v) {
        __m128 s = _mm_add_ps(_mm256_castps256_ps128(v), _mm256_extractf128_ps(v, 1));
        s = _mm_add_ps(s, _mm_movehl_ps(s, s));
        s = _mm_add_ss(s, _mm_shuffle_ps(s, s, 0x55));
        return _mm_cvtss_f32(s);
    }
};

struct Avx512Lanes {
    using Vector = __m512;
    static constexpr long kWidth = 16;
    static constexpr int kBatch = 4;
    static constexpr bool kShareRuns = true;
    KV_SRC_AVX512 static Vector Zero() { return _mm512_setzero_ps(); }
    KV_SRC_AVX512 static Vector Load(const float* p) { return _mm512_loadu_ps(p); }
    KV_SRC_AVX512 static Vector MulAdd(Vector a, Vector b, Vector c) {
        return _mm512_fmadd_ps(a, b, c);
    }
    KV_SRC_AVX512 static Vector Add(Vector a, Vector b) { return _mm512_add_ps(a, b); }
    KV_SRC_AVX512 static void Store(float* p, Vector v) { _mm512_storeu_ps(p, v); }
    KV_SRC_AVX512 static void Split(const float* in, Vector& l, Vector& r) {
        const __m512 a = _mm512_loadu_ps(in), b = _mm512_loadu_ps(in + 16);
        const __m512i even =
            _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
        const __m512i odd =
            _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31);
        l = _mm512_permutex2var_ps(a, even, b);
        r = _mm512_permutex2var_ps(a, odd, b);
    }
    KV_SRC_AVX512 static void SumPair(Vector x, Vector y, float* out) {
        Avx2Lanes::SumPair(Fold(x), Fold(y), out);
    }
    KV_SRC_AVX512 static void SumPairs(const Vector* x, const Vector* y, float* const* outs) {
        // [x folded to 8 | y folded to 8] for each pair
        Vector p[4];
        for (int b = 0; b < 4; ++b)
            p[b] = _mm512_add_ps(_mm512_shuffle_f32x4(x[b], y[b], _MM_SHUFFLE(1, 0, 1, 0)),
                                 _mm512_shuffle_f32x4(x[b], y[b], _MM_SHUFFLE(3, 2, 3, 2)));
        // [ux0 | uy0 | ux1 | uy1] and [ux2 | uy2 | ux3 | uy3]
        const __m512 q01 = _mm512_add_ps(_mm512_shuffle_f32x4(p[0], p[1], _MM_SHUFFLE(2, 0, 2, 0)),
                                         _mm512_shuffle_f32x4(p[0], p[1], _MM_SHUFFLE(3, 1, 3, 1)));
        const __m512 q23 = _mm512_add_ps(_mm512_shuffle_f32x4(p[2], p[3], _MM_SHUFFLE(2, 0, 2, 0)),
                                         _mm512_shuffle_f32x4(p[2], p[3], _MM_SHUFFLE(3, 1, 3, 1)));
        // per 128 bits: [u0 + u2, u1 + u3] of q01's part, then of q23's
        const __m512 t = _mm512_add_ps(_mm512_shuffle_ps(q01, q23, _MM_SHUFFLE(1, 0, 1, 0)),
                                       _mm512_shuffle_ps(q01, q23, _MM_SHUFFLE(3, 2, 3, 2)));
        // per 128 bits: [sum of q01's part, sum of q23's part, the same again]
        const __m512 s = _mm512_add_ps(_mm512_shuffle_ps(t, t, _MM_SHUFFLE(2, 0, 2, 0)),
                                       _mm512_shuffle_ps(t, t, _MM_SHUFFLE(3, 1, 3, 1)));
        const __m512i order = _mm512_setr_epi32(0, 4, 8, 12, 1, 5, 9, 13, 0, 0, 0, 0, 0, 0, 0, 0);
        const __m512 v = _mm512_permutexvar_ps(order, s);
        const __m128 low = _mm512_castps512_ps128(v);
        const __m128 high = _mm512_extractf32x4_ps(v, 1);
        _mm_storel_pi(reinterpret_cast<__m64*>(outs[0]), low);
        _mm_storeh_pi(reinterpret_cast<__m64*>(outs[1]), low);
        _mm_storel_pi(reinterpret_cast<__m64*>(outs[2]), high);
        _mm_storeh_pi(reinterpret_cast<__m64*>(outs[3]), high);
    }
    KV_SRC_AVX512 static float Sum(Vector v) { return Avx2Lanes::Sum(Fold(v)); }
    // The upper half added to the lower.
    KV_SRC_AVX512 static __m256 Fold(Vector v) {
        const __m256 high = _mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(v), 1));
        return _mm256_add_ps(_mm512_castps512_ps256(v), high);
    }
};

// Dot products of n floats, n a multiple of kTapAlign (and so of either
// vector width): one channel, and two channels sharing one tap row, each
// with two independent sums so that the multiply-adds need not wait on each
// other. One template for both vector types, instantiated only inside the
// flattened functions below, which give it their instruction set.
template <class Lanes>
float DotLanes(const float* a, const float* b, long n) {
    using V = typename Lanes::Vector;
    constexpr long w = Lanes::kWidth;
    V s0 = Lanes::Zero(), s1 = Lanes::Zero();
    long j = 0;
    for (; j + 2 * w <= n; j += 2 * w) {
        s0 = Lanes::MulAdd(Lanes::Load(a + j), Lanes::Load(b + j), s0);
        s1 = Lanes::MulAdd(Lanes::Load(a + j + w), Lanes::Load(b + j + w), s1);
    }
    if (j < n)
        s0 = Lanes::MulAdd(Lanes::Load(a + j), Lanes::Load(b + j), s0);
    return Lanes::Sum(Lanes::Add(s0, s1));
}

template <class Lanes>
void DotPairLanes(const float* taps, const float* x, const float* y, long n, float* out) {
    using V = typename Lanes::Vector;
    constexpr long w = Lanes::kWidth;
    V x0 = Lanes::Zero(), x1 = Lanes::Zero(), y0 = Lanes::Zero(), y1 = Lanes::Zero();
    long j = 0;
    for (; j + 2 * w <= n; j += 2 * w) {
        const V t0 = Lanes::Load(taps + j), t1 = Lanes::Load(taps + j + w);
        x0 = Lanes::MulAdd(t0, Lanes::Load(x + j), x0);
        y0 = Lanes::MulAdd(t0, Lanes::Load(y + j), y0);
        x1 = Lanes::MulAdd(t1, Lanes::Load(x + j + w), x1);
        y1 = Lanes::MulAdd(t1, Lanes::Load(y + j + w), y1);
    }
    if (j < n) {
        const V t0 = Lanes::Load(taps + j);
        x0 = Lanes::MulAdd(t0, Lanes::Load(x + j), x0);
        y0 = Lanes::MulAdd(t0, Lanes::Load(y + j), y0);
    }
    Lanes::SumPair(Lanes::Add(x0, x1), Lanes::Add(y0, y1), out);
}

// Adds up a batch's two accumulators per channel and output and writes
// output b to outs[b], as DotPairLanes adds one output up.
template <class Lanes>
inline void SumBatchPairs(const typename Lanes::Vector* x0, const typename Lanes::Vector* x1,
                          const typename Lanes::Vector* y0, const typename Lanes::Vector* y1,
                          float* const* outs) {
    typename Lanes::Vector x[Lanes::kBatch], y[Lanes::kBatch];
    for (int b = 0; b < Lanes::kBatch; ++b) {
        x[b] = Lanes::Add(x0[b], x1[b]);
        y[b] = Lanes::Add(y0[b], y1[b]);
    }
    Lanes::SumPairs(x, y, outs);
}

// Lanes::kBatch two-channel sums at once, output b with tap row rows[b] on
// the frames from firsts[b] (the second channel ys floats on) to outs[b],
// each added up as DotPairLanes adds it up.
template <class Lanes>
void DotPairBatchLanes(const float* const* rows, const float* const* firsts, long ys, long n,
                       float* const* outs) {
    using V = typename Lanes::Vector;
    constexpr long w = Lanes::kWidth;
    constexpr int kBatch = Lanes::kBatch;
    V x0[kBatch], x1[kBatch], y0[kBatch], y1[kBatch];
    for (int b = 0; b < kBatch; ++b)
        x0[b] = x1[b] = y0[b] = y1[b] = Lanes::Zero();
    long j = 0;
    for (; j + 2 * w <= n; j += 2 * w) {
        for (int b = 0; b < kBatch; ++b) {
            const float* x = firsts[b] + j;
            const V t0 = Lanes::Load(rows[b] + j), t1 = Lanes::Load(rows[b] + j + w);
            x0[b] = Lanes::MulAdd(t0, Lanes::Load(x), x0[b]);
            y0[b] = Lanes::MulAdd(t0, Lanes::Load(x + ys), y0[b]);
            x1[b] = Lanes::MulAdd(t1, Lanes::Load(x + w), x1[b]);
            y1[b] = Lanes::MulAdd(t1, Lanes::Load(x + ys + w), y1[b]);
        }
    }
    if (j < n) {
        for (int b = 0; b < kBatch; ++b) {
            const float* x = firsts[b] + j;
            const V t0 = Lanes::Load(rows[b] + j);
            x0[b] = Lanes::MulAdd(t0, Lanes::Load(x), x0[b]);
            y0[b] = Lanes::MulAdd(t0, Lanes::Load(x + ys), y0[b]);
        }
    }
    SumBatchPairs<Lanes>(x0, x1, y0, y1, outs);
}

// Lanes::kBatch two-channel sums whose read positions lie a vector's width
// of frames apart, from first on: the history vectors the outputs share are
// loaded once, each output's k-th vector being its neighbour's (k + 1)-th.
// Each output goes to outs[b], added up as DotPairLanes adds it up.
template <class Lanes>
void DotPairRunLanes(const float* const* rows, const float* first, long ys, long n,
                     float* const* outs) {
    using V = typename Lanes::Vector;
    constexpr long w = Lanes::kWidth;
    constexpr int kBatch = Lanes::kBatch;
    V x0[kBatch], x1[kBatch], y0[kBatch], y1[kBatch];
    for (int b = 0; b < kBatch; ++b)
        x0[b] = x1[b] = y0[b] = y1[b] = Lanes::Zero();
    // l[b] and r[b]: output b's next vector of each channel
    V l[kBatch], r[kBatch];
    for (int b = 0; b + 1 < kBatch; ++b) {
        l[b] = Lanes::Load(first + b * w);
        r[b] = Lanes::Load(first + ys + b * w);
    }
    auto step = [&](long j, V* xs, V* yv) {
        l[kBatch - 1] = Lanes::Load(first + j + (kBatch - 1) * w);
        r[kBatch - 1] = Lanes::Load(first + ys + j + (kBatch - 1) * w);
        for (int b = 0; b < kBatch; ++b) {
            V t = Lanes::Load(rows[b] + j);
            // One load for both channels: without this the compiler folds
            // the load into both multiply-adds, and loads it twice.
            asm("" : "+v"(t));
            xs[b] = Lanes::MulAdd(t, l[b], xs[b]);
            yv[b] = Lanes::MulAdd(t, r[b], yv[b]);
        }
        for (int b = 0; b + 1 < kBatch; ++b) {
            l[b] = l[b + 1];
            r[b] = r[b + 1];
        }
    };
    long j = 0;
    for (; j + 2 * w <= n; j += 2 * w) {
        step(j, x0, y0);
        step(j + w, x1, y1);
    }
    if (j < n)
        step(j, x0, y0);
    SumBatchPairs<Lanes>(x0, x1, y0, y1, outs);
}

// Sums the planned outputs, each as DotPairLanes would alone, writing
// output i to out[2i] and out[2i + 1]: Lanes::kBatch consecutive ones at a
// time through DotPairBatchLanes.
template <class Lanes>
void SumPlanBatches(const OutputPlan& plan, int count, const StereoHistory& h, float* out) {
    constexpr int kBatch = Lanes::kBatch;
    const float* rows[kBatch];
    const float* firsts[kBatch];
    float* outs[kBatch];
    int i = 0;
    for (; i + kBatch <= count; i += kBatch) {
        for (int b = 0; b < kBatch; ++b) {
            rows[b] = plan.rows[i + b];
            firsts[b] = h.left + plan.frames[i + b];
            outs[b] = out + 2 * (i + b);
        }
        DotPairBatchLanes<Lanes>(rows, firsts, h.ys, h.tapStride, outs);
    }
    for (; i < count; ++i) {
        const float* x = h.left + plan.frames[i];
        DotPairLanes<Lanes>(plan.rows[i], x, x + h.ys, h.tapStride, out + 2 * i);
    }
}

// As SumPlanBatches, but first the outputs that can share history vectors
// go through DotPairRunLanes. For those the plan's frames are cut into tiles
// of Lanes::kBatch widths, and in each tile the first outputs at frames c,
// c + width, ... form a run. The rest (second outputs at a frame, outputs in
// a part tile or without all partners) are batched as they come.
template <class Lanes>
void SumPlanRuns(const OutputPlan& plan, int count, const StereoHistory& h, float* out) {
    constexpr long w = Lanes::kWidth;
    constexpr int kBatch = Lanes::kBatch;
    constexpr long kTile = kBatch * w;
    constexpr long kMaxFrames = 1024;
    const float* rows[kBatch];
    const float* firsts[kBatch];
    float* outs[kBatch];
    const long mask = h.frames - 1;
    // The last read position a run can start from, its last output's frames
    // not reaching beyond the history's second copy.
    const long lastStart = 2 * h.frames - h.tapStride - (kBatch - 1) * w;
    const long start = plan.frames[0];
    const long frames = std::min(((plan.frames[count - 1] - start) & mask) + 1, kMaxFrames);
    int16_t firstAt[kMaxFrames];
    std::fill(firstAt, firstAt + frames, int16_t(-1));
    int16_t rest[OutputPlan::kMax];
    int restCount = 0;
    for (int i = 0; i < count; ++i) {
        const long at = (plan.frames[i] - start) & mask;
        if (at < frames && firstAt[at] < 0)
            firstAt[at] = int16_t(i);
        else
            rest[restCount++] = int16_t(i);
    }
    long tile = 0;
    for (; tile + kTile <= frames; tile += kTile) {
        for (long c = 0; c < w; ++c) {
            int16_t run[kBatch];
            bool whole = true;
            for (int b = 0; b < kBatch; ++b) {
                run[b] = firstAt[tile + c + b * w];
                whole = whole && run[b] >= 0;
            }
            if (whole && plan.frames[run[0]] <= lastStart) {
                for (int b = 0; b < kBatch; ++b) {
                    rows[b] = plan.rows[run[b]];
                    outs[b] = out + 2 * run[b];
                }
                DotPairRunLanes<Lanes>(rows, h.left + plan.frames[run[0]], h.ys, h.tapStride, outs);
            } else {
                for (int b = 0; b < kBatch; ++b)
                    if (run[b] >= 0)
                        rest[restCount++] = run[b];
            }
        }
    }
    for (; tile < frames; ++tile)
        if (firstAt[tile] >= 0)
            rest[restCount++] = firstAt[tile];
    int e = 0;
    for (; e + kBatch <= restCount; e += kBatch) {
        for (int b = 0; b < kBatch; ++b) {
            rows[b] = plan.rows[rest[e + b]];
            firsts[b] = h.left + plan.frames[rest[e + b]];
            outs[b] = out + 2 * rest[e + b];
        }
        DotPairBatchLanes<Lanes>(rows, firsts, h.ys, h.tapStride, outs);
    }
    for (; e < restCount; ++e) {
        const float* x = h.left + plan.frames[rest[e]];
        DotPairLanes<Lanes>(plan.rows[rest[e]], x, x + h.ys, h.tapStride, out + 2 * rest[e]);
    }
}

KV_SRC_AVX2 __attribute__((flatten)) float DotAvx2(const float* a, const float* b, long n) {
    return DotLanes<Avx2Lanes>(a, b, n);
}
KV_SRC_AVX2 __attribute__((flatten)) void DotPairAvx2(const float* taps, const float* x,
                                                      const float* y, long n, float* out) {
    DotPairLanes<Avx2Lanes>(taps, x, y, n, out);
}
KV_SRC_AVX512 __attribute__((flatten)) float DotAvx512(const float* a, const float* b, long n) {
    return DotLanes<Avx512Lanes>(a, b, n);
}
KV_SRC_AVX512 __attribute__((flatten)) void DotPairAvx512(const float* taps, const float* x,
                                                          const float* y, long n, float* out) {
    DotPairLanes<Avx512Lanes>(taps, x, y, n, out);
}

// PushStereo with the histories written a vector at a time.
template <class Lanes>
void PushLanes(const float* in, long n, float* slot, float* l, float* r, long length) {
    using V = typename Lanes::Vector;
    constexpr long w = Lanes::kWidth;
    long i = 0;
    for (; i + w <= n; i += w) {
        V left, right;
        Lanes::Split(in + 2 * i, left, right);
        Lanes::Store(l + i, left);
        Lanes::Store(l + i + length, left);
        Lanes::Store(r + i, right);
        Lanes::Store(r + i + length, right);
    }
    for (long j = 0; j < i; ++j)
        std::memcpy(slot + j * kSlotFloats, in + 2 * j, 2 * sizeof(float));
    PushStereo(in + 2 * i, n - i, slot + i * kSlotFloats, l + i, r + i, length);
}

// The two-channel sums and pushes StereoBlock takes, for one vector type.
template <class Lanes>
struct LanesPair {
    static void Push(const float* in, long n, float* slot, float* l, float* r, long length) {
        PushLanes<Lanes>(in, n, slot, l, r, length);
    }
    static void SumPlan(const OutputPlan& plan, int count, const StereoHistory& h, float* out) {
        if constexpr (Lanes::kShareRuns)
            SumPlanRuns<Lanes>(plan, count, h, out);
        else
            SumPlanBatches<Lanes>(plan, count, h, out);
    }
};
KV_SRC_AVX2 __attribute__((flatten)) long StereoBlockAvx2(StereoStream& s, const float* in,
                                                          long inFrames, float* out, long limit) {
    return StereoBlock<LanesPair<Avx2Lanes>>(s, in, inFrames, out, limit);
}
KV_SRC_AVX512 __attribute__((flatten)) long
StereoBlockAvx512(StereoStream& s, const float* in, long inFrames, float* out, long limit) {
    return StereoBlock<LanesPair<Avx512Lanes>>(s, in, inFrames, out, limit);
}
#pragma GCC diagnostic pop
#endif

// The portable two-channel sums and pushes, one output or frame at a time.
struct PortablePair {
    static void Push(const float* in, long n, float* slot, float* l, float* r, long length) {
        PushStereo(in, n, slot, l, r, length);
    }
    static void SumPlan(const OutputPlan& plan, int count, const StereoHistory& h, float* out) {
        for (int i = 0; i < count; ++i, out += 2) {
            const float* x = h.left + plan.frames[i];
            DotPairPortable(plan.rows[i], x, x + h.ys, h.tapStride, out);
        }
    }
};
long StereoBlockPortable(StereoStream& s, const float* in, long inFrames, float* out, long limit) {
    return StereoBlock<PortablePair>(s, in, inFrames, out, limit);
}

// The dot products for this processor, chosen once.
struct DotKernels {
    DotFunction dot = &DotPortable;
    DotPairFunction dotPair = &DotPairPortable;
    // Process for two channels.
    long (*stereoBlock)(StereoStream&, const float*, long, float*, long) = &StereoBlockPortable;
};

DotKernels ChooseKernels(KCOnTheFlySRC::Instructions most) {
    using Instructions = KCOnTheFlySRC::Instructions;
    DotKernels k;
#if defined(__x86_64__)
    if (most >= Instructions::kAvx2 && __builtin_cpu_supports("avx2") &&
        __builtin_cpu_supports("fma")) {
        k.dot = &DotAvx2;
        k.dotPair = &DotPairAvx2;
        k.stereoBlock = &StereoBlockAvx2;
        if (most >= Instructions::kAvx512 && __builtin_cpu_supports("avx512f")) {
            k.dot = &DotAvx512;
            k.dotPair = &DotPairAvx512;
            k.stereoBlock = &StereoBlockAvx512;
        }
    }
#endif
    return k;
}

// Chosen at start-up, so that no output frame pays for a first-use check.
DotKernels gKernels = ChooseKernels(KCOnTheFlySRC::Instructions::kAvx512);

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
    ringMask = other.ringMask;
    history = other.history;
    historyFrames = other.historyFrames;
    historyStride = other.historyStride;
    tapStride = other.tapStride;
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
    // Rebuilt rather than copied: the rows' alignment depends on where the
    // storage lies.
    phaseTaps.clear();
    if (tapsTable && window)
        BuildPhaseTaps();
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
    historyStride = 2 * historyFrames + kTapAlign;
    history.assign(size_t(std::max(channels, 1L)) * size_t(historyStride), 0.0f);
}

void KCOnTheFlySRC::BuildPhaseTaps() {
    // Row a holds the 2H + 1 weights of fractional position a / S, gain
    // included: left taps k = 0..H use sinc[(H - k) S + a] w[k], right taps
    // 2H + 1 - k (k = 1..H) use sinc[(H - k + 1) S - a] w[k].
    const long h = halfLength;
    const long s = step;
    tapStride = RoundUpToTapAlign(filterLength);
    phaseTaps.assign(size_t(s) * size_t(tapStride) + kTapsAlignFloats - 1, 0.0f);
    tapsOffset = TapsOffset(phaseTaps);
    for (long a = 0; a < s; ++a) {
        float* row = phaseTaps.data() + tapsOffset + a * tapStride;
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
    historyStride = 0;
    tapStride = 0;
    tapsOffset = 0;
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
    PushFrame<0>(frame);
}

// Channels is the channel count, or 0 for any count (taken from the setting).
template <int Channels>
void KCOnTheFlySRC::PushFrame(const float* frame) {
    const long count = Channels > 0 ? Channels : channels;
    const long slot = (readPos + kSlotFloats * (writeCount + 1)) & ringMask;
    const long f = slot / kSlotFloats;
    float* h = history.data() + f;
    for (long c = 0; c < count; ++c, h += historyStride) {
        ring[slot + c] = frame[c];
        h[0] = h[historyFrames] = frame[c];
    }
    ++writeCount;
}

void KCOnTheFlySRC::Advance(long& need) {
    const long advance = NextPhase(increment, phase);
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
    const float* taps = phaseTaps.data() + tapsOffset + a * tapStride;
    const float* first = history.data() + readPos / kSlotFloats;
    const DotKernels& kernels = gKernels;
    if constexpr (Channels == 2) {
        kernels.dotPair(taps, first, first + historyStride, tapStride, frame);
    } else {
        for (long c = 0; c < count; ++c)
            frame[c] = kernels.dot(taps, first + c * historyStride, tapStride);
    }
    Advance(need);
}

template <int Channels>
long KCOnTheFlySRC::ProcessFrames(const float* in, long inFrames, float* out, long limit) {
    const long count = Channels > 0 ? Channels : channels;
    const long ready = ReadyCount();
    long produced = 0;
    for (long i = 0; i < inFrames; ++i, in += count) {
        PushFrame<Channels>(in);
        while (writeCount >= ready && produced < limit) {
            long need = 0;
            OutputFrame<Channels>(need, out);
            out += count;
            ++produced;
        }
    }
    return produced;
}

long KCOnTheFlySRC::Process(const float* in, long inFrames, float* out) {
    if (!ring || phaseTaps.empty() || inFrames <= 0)
        return 0;
    const long limit = ProcessLength(inFrames);
    switch (channels) {
    case 1:
        return ProcessFrames<1>(in, inFrames, out, limit);
    case 2: {
        StereoStream s{phaseTaps.data() + tapsOffset,
                       tapStride,
                       step,
                       stepD,
                       increment,
                       history.data(),
                       historyFrames,
                       historyStride,
                       ring,
                       readPos / kSlotFloats,
                       writeCount,
                       ReadyCount(),
                       phase};
        const long produced = gKernels.stereoBlock(s, in, inFrames, out, limit);
        readPos = s.readFrame * kSlotFloats;
        writeCount = s.writeCount;
        phase = s.phase;
        return produced;
    }
    default:
        return ProcessFrames<0>(in, inFrames, out, limit);
    }
}

long KCOnTheFlySRC::ProcessLength(long inFrames) const {
    if (inRate <= 0 || outRate <= 0 || inFrames <= 0)
        return 0;
    return static_cast<long>(double(inFrames) * double(outRate) / double(inRate)) + 2;
}

void KCOnTheFlySRC::UseInstructions(Instructions most) {
    gKernels = ChooseKernels(most);
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
