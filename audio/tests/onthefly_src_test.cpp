#include "audio/KCOnTheFlySRC.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

namespace {

constexpr double kPi = std::numbers::pi;

// A noise sample in -0.9..0.9 from a linear congruential generator's state.
float NextNoise(uint32_t& r) {
    r = r * 1664525u + 1013904223u;
    return float((r >> 9) / 4194304.0 - 1.0) * 0.9f;
}

// Streams planar channels through the converter the way a file reader does:
// push a frame, then pull while the converter needs no input.
std::vector<std::vector<float>>
Stream(KCOnTheFlySRC& src, const std::vector<std::vector<float>>& in, size_t outFrames) {
    const size_t channels = in.size();
    std::vector<std::vector<float>> out(channels);
    long need = 0;
    float frame[8] = {}, produced[8] = {};
    for (size_t i = 0; i < in[0].size() && out[0].size() < outFrames; ++i) {
        for (size_t c = 0; c < channels; ++c)
            frame[c] = in[c][i];
        src.ReadSample(frame);
        while (need == 0 && out[0].size() < outFrames) {
            src.OutSample(need, produced);
            for (size_t c = 0; c < channels; ++c)
                out[c].push_back(produced[c]);
        }
        --need;
    }
    return out;
}

std::vector<float> Sine(double freq, double rate, size_t frames, double amplitude = 0.5) {
    std::vector<float> v(frames);
    for (size_t i = 0; i < frames; ++i)
        v[i] = float(amplitude * std::sin(2 * kPi * freq * double(i) / rate));
    return v;
}

// Signal-to-error ratio of a converted sine against the ideal one, delayed
// by the converter's H + 18 input frames, over the settled middle part.
double SineSnr(long inRate, long outRate, double freq, E_SRC_Flags flags = eSRCDefault) {
    KCOnTheFlySRC src(inRate, outRate, flags, 1);
    EXPECT_TRUE(src.IsValid());
    const size_t inFrames = size_t(inRate) / 2;
    auto out = Stream(src, {Sine(freq, double(inRate), inFrames)}, size_t(-1))[0];
    const double delay = double(src.GetHalfLength() + 18) / double(inRate);
    double sig = 0, err = 0;
    for (size_t m = out.size() / 4; m < out.size() * 3 / 4; ++m) {
        const double ideal = 0.5 * std::sin(2 * kPi * freq * (double(m) / outRate - delay));
        sig += ideal * ideal;
        err += (out[m] - ideal) * (out[m] - ideal);
    }
    return 10 * std::log10(sig / err);
}

} // namespace

TEST(OnTheFlySRC, FilterSettingsFollowTheRates) {
    struct Case {
        long in, out;
        E_SRC_Flags flags;
        long h, s;
        double cutoff, gainFactor;
    };
    const double c441 = (22050.0 - 1000.0) / 22050.0;
    const Case cases[] = {
        {44100, 48000, eSRCDefault, 55, 1000, c441, 1.0},
        {48000, 44100, eSRCDefault, 55, 919, c441, 0.91875},
        {48000, 44100, eSRCLongFilter, 109, 919, c441, 0.91875},
        {44100, 48000, eSRCLongFilter, 55, 1000, c441, 1.0}, // long filter only down to 44100
        {96000, 48000, eSRCDefault, 101, 500, 22000.0 / 24000.0, 0.5},
        {192000, 96000, eSRCDefault, 33, 500, 2.0 / 3.0, 0.5},
        {88200, 96000, eSRCDefault, 25, 1000, (44100.0 - 10000.0) / 44100.0, 1.0},
        {44100, 48000, eSRCShortFilter, 18, 1000, c441, 1.0},
        {44100, 44100, eSRCDefault, 50, 1000, c441, 1.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.in << "->" << c.out << " flags " << c.flags);
        KCOnTheFlySRC src(c.in, c.out, c.flags, 2);
        ASSERT_TRUE(src.IsValid());
        EXPECT_EQ(src.GetHalfLength(), c.h);
        EXPECT_EQ(src.GetFilterLength(), 2 * c.h + 1);
        EXPECT_EQ(src.GetInputLatency(), c.h + 16);
        EXPECT_EQ(src.GetTableSize(), (c.h + 1) * 1000);
        EXPECT_EQ(src.GetStep(), c.s);
        EXPECT_NEAR(src.GetCutoff(), c.cutoff, 1e-6);
        EXPECT_NEAR(src.GetGain(), c.cutoff * c.gainFactor, 1e-9);

        KCOnTheFlySRC lengthsOnly(c.in, c.out, c.flags);
        EXPECT_EQ(lengthsOnly.GetHalfLength(), c.h);
        EXPECT_EQ(lengthsOnly.GetSincTable(), nullptr);
    }
    KCOnTheFlySRC src(44100, 48000, eSRCDefault, 1);
    EXPECT_NEAR(src.GetCutoff(), 0.954649, 1e-6);
    EXPECT_EQ(src.GetInputLatency(), 71);
}

TEST(OnTheFlySRC, TablesAndLengths) {
    KCOnTheFlySRC src(44100, 48000, eSRCDefault, 1);
    const double* t = src.GetSincTable();
    const double* w = src.GetWindow();
    EXPECT_EQ(t[0], 1.0);
    const double x = 1234 * src.GetCutoff() * kPi / 1000;
    EXPECT_NEAR(t[1234], std::sin(x) / x, 1e-15);
    EXPECT_EQ(w[55], 1.0);
    EXPECT_NEAR(w[0], 1.0 / 4.355828e7, 1e-12); // outer edge of the Kaiser window, 1 / I0(20)
    EXPECT_GT(w[54], 0.99);
    for (int k = 1; k <= 55; ++k)
        EXPECT_GE(w[k], w[k - 1]);

    EXPECT_EQ(src.RateConvertLength(1000), long(std::ceil(48000.0 / 44100 * (1000 + 142))));
    EXPECT_EQ(src.RateUnConvertLength(10000), long(std::ceil(44100.0 / 48000 * 10000)) - 142);
    EXPECT_EQ(src.RateUnConvertLength(10), 0); // never negative
    EXPECT_EQ(src.GetOutputLatency(), long(std::ceil(48000.0 / 44100 * 3 * 71)));
    EXPECT_EQ(SampleRateConvertLength(1000, 44100, 48000, eSRCDefault),
              src.RateConvertLength(1000));

    KCOnTheFlySRC same(48000, 48000, eSRCDefault, 1);
    EXPECT_EQ(same.RateConvertLength(777), 777);
    EXPECT_EQ(same.RateUnConvertLength(777), 777);
    EXPECT_EQ(same.GetOutputLatency(), same.GetInputLatency());
}

TEST(OnTheFlySRC, ImpulseAtEqualRatesIsTheWindowedSincDelayedByTheLatency) {
    constexpr long kFrames = 300;
    std::vector<float> in(kFrames, 0.0f), out(kFrames, -1.0f);
    in[0] = 1.0f;
    long latency = 0;
    ASSERT_EQ(RateConvertFIR(in.data(), out.data(), kFrames, 44100, 44100, eSRCDefault, &latency,
                             nullptr, nullptr, nullptr),
              eNoErr);
    KCOnTheFlySRC ref(44100, 44100, eSRCDefault, 1);
    const long h = ref.GetHalfLength();
    const double* w = ref.GetWindow();
    ASSERT_EQ(latency, h + 18);
    for (long m = 0; m < kFrames; ++m) {
        const long d = m - latency; // distance from the centre
        double expected = 0.0;
        if (d == 0) {
            expected = 1.0;
        } else if (d >= -h && d <= h) {
            // The newer side (d < 0) takes window entry H + 1 - |d|, the
            // older side H - d.
            const double x = double(d) * ref.GetCutoff() * kPi;
            const double win = d > 0 ? w[h - d] : w[h + 1 + d];
            expected = std::sin(x) / x * win;
        }
        EXPECT_NEAR(out[m], ref.GetGain() * expected, 2e-6) << "m " << m;
    }
}

TEST(OnTheFlySRC, SinesComeThroughCleanly) {
    EXPECT_GT(SineSnr(44100, 48000, 1000), 70);
    EXPECT_GT(SineSnr(44100, 48000, 10000), 55); // phase quantised to 1/1000 sample
    EXPECT_GT(SineSnr(48000, 44100, 1000), 70);
    EXPECT_GT(SineSnr(96000, 48000, 5000), 60);
    // A filter longer than the 512-frame ring (H = 303) gets a larger ring.
    KCOnTheFlySRC big(8000, 48000, eSRCDefault, 1);
    EXPECT_EQ(big.GetHalfLength(), 303);
    EXPECT_GT(big.GetRingFloats(), KCOnTheFlySRC::kRingFloats);
    EXPECT_GT(SineSnr(8000, 48000, 500), 70);
}

TEST(OnTheFlySRC, EveryChannelCountMatchesMonoConversion) {
    for (long channels : {2L, 3L, 4L, 5L, 8L}) {
        SCOPED_TRACE(channels);
        std::vector<std::vector<float>> in;
        for (long c = 0; c < channels; ++c)
            in.push_back(Sine(300.0 * (c + 1), 44100, 1500, 0.1 * (c + 1)));
        KCOnTheFlySRC multi(44100, 48000, eSRCDefault, channels);
        auto out = Stream(multi, in, 1500);
        for (long c = 0; c < channels; ++c) {
            KCOnTheFlySRC mono(44100, 48000, eSRCDefault, 1);
            auto single = Stream(mono, {in[c]}, 1500)[0];
            ASSERT_EQ(single.size(), out[c].size());
            for (size_t i = 0; i < single.size(); ++i)
                ASSERT_NEAR(single[i], out[c][i], 1e-6) << "channel " << c << " frame " << i;
        }
    }
}

TEST(OnTheFlySRC, SetUpStatesAndRefusals) {
    KCOnTheFlySRC unset;
    EXPECT_EQ(unset.GetError(), eSomeThingNotInitailzed);
    EXPECT_EQ(unset.RateUnConvertLength(100), 0);

    KCOnTheFlySRC src(44100, 48000, eSRCDefault, 1);
    EXPECT_EQ(src.Init(44100, 48000, eSRCDefault, 9), eGenericErr); // 9 channels do not fit
    EXPECT_EQ(src.Init(0, 48000, eSRCDefault, 1), eGenericErr);
    // A ratio whose filter tables would take gigabytes is refused.
    EXPECT_EQ(src.Init(1, 48000, eSRCDefault, 1), eGenericErr);
    EXPECT_EQ(src.GetSincTable(), nullptr);
    EXPECT_EQ(KCOnTheFlySRC(1, 48000, eSRCDefault).GetHalfLength(), 2424000); // lengths only
    EXPECT_EQ(src.Init(8000, 192000, eSRCDefault, 1), eNoErr);
    EXPECT_EQ(src.GetHalfLength(), 1212);
    EXPECT_EQ(src.Init(44100, 48000, eSRCDefault, 1), eNoErr);

    std::vector<double> table(src.GetTableSize()), window(src.GetHalfLength() + 1);
    EXPECT_EQ(
        src.InitPreallocated(44100, 48000, eSRCDefault, 1, table.data(), window.data(), nullptr),
        eMemNullPointer);
    EXPECT_EQ(src.GetHalfLength(), 55); // left as it was

    float sample = 1.0f;
    std::vector<float> mono(4, 0.0f);
    KCOnTheFlySRC stereo(44100, 48000, eSRCDefault, 2);
    EXPECT_EQ(stereo.Convert(&sample, mono.data(), 1, nullptr), eWrongObjectState);
    src.Dispose();
    EXPECT_EQ(src.GetError(), eSomeThingNotInitailzed);
    EXPECT_EQ(src.GetFlags(), -1);
}

TEST(OnTheFlySRC, InitWithTheSameSettingOnlyRestartsTheStream) {
    const auto in = Sine(440, 44100, 2000);
    KCOnTheFlySRC src(44100, 48000, eSRCDefault, 1);
    const double* table = src.GetSincTable();
    const auto first = Stream(src, {in}, 1500)[0];
    ASSERT_EQ(src.Init(44100, 48000, eSRCDefault, 1), eNoErr);
    EXPECT_EQ(src.GetSincTable(), table);
    EXPECT_EQ(Stream(src, {in}, 1500)[0], first);
}

TEST(OnTheFlySRC, CopiesOwnTheirStorage) {
    const auto in = Sine(1000, 44100, 2000);
    KCOnTheFlySRC reference(44100, 48000, eSRCDefault, 1);
    const auto expected = Stream(reference, {in}, 1500)[0];

    // From a converter with its own storage, destroyed before the copy runs.
    auto original = std::make_unique<KCOnTheFlySRC>(44100, 48000, eSRCDefault, 1);
    KCOnTheFlySRC copy(*original);
    EXPECT_NE(copy.GetSincTable(), original->GetSincTable());
    original.reset();
    EXPECT_EQ(Stream(copy, {in}, 1500)[0], expected);

    // From a converter on caller storage that is freed before the copy runs.
    KCOnTheFlySRC assigned;
    {
        std::vector<double> table(56 * 1000), window(56);
        std::vector<float> ring(KCOnTheFlySRC::kRingFloats);
        KCOnTheFlySRC onCallerStorage;
        ASSERT_EQ(onCallerStorage.InitPreallocated(44100, 48000, eSRCDefault, 1, table.data(),
                                                   window.data(), ring.data()),
                  eNoErr);
        assigned = onCallerStorage;
    }
    EXPECT_TRUE(assigned.IsValid());
    EXPECT_EQ(Stream(assigned, {in}, 1500)[0], expected);
}

namespace {

// The filter sum written out in double precision, straight from the
// converter's tables: input frame j sits H + 18 + ... frames into a stream
// that starts with M + 17 zero frames; output m sums the 2H + 1 frames from
// the read index that the earlier outputs advanced to.
std::vector<std::vector<double>> Reference(const KCOnTheFlySRC& src,
                                           const std::vector<std::vector<float>>& in,
                                           size_t outFrames, long inRate, long outRate) {
    const long h = src.GetHalfLength(), s = src.GetStep(), lead = src.GetFilterLength() + 17;
    const double* sinc = src.GetSincTable();
    const double* w = src.GetWindow();
    const double increment = double(inRate) / double(outRate);
    std::vector<std::vector<double>> out(in.size());
    double phase = 0.0;
    long read = 0;
    for (size_t m = 0; m < outFrames; ++m) {
        const long a = long(double(s) * phase);
        for (size_t c = 0; c < in.size(); ++c) {
            auto y = [&](long i) { return i < lead ? 0.0 : double(in[c][size_t(i - lead)]); };
            double sum = 0.0;
            for (long k = 0; k <= h; ++k)
                sum += sinc[(h - k) * s + a] * w[k] * y(read + k);
            for (long k = 1; k <= h; ++k)
                sum += sinc[(h - k + 1) * s - a] * w[k] * y(read + 2 * h + 1 - k);
            out[c].push_back(src.GetGain() * sum);
        }
        const double v = increment + phase;
        phase = v - std::floor(v);
        read += long(std::floor(v));
    }
    return out;
}

} // namespace

// The vectorised sums give the filter's value to within 1e-6 for every
// channel count and for up- and down-sampling.
TEST(OnTheFlySRC, OutputIsTheFilterSum) {
    struct Case {
        long in, out, channels;
        E_SRC_Flags flags;
    };
    const Case cases[] = {{44100, 48000, 2, eSRCDefault}, {48000, 44100, 2, eSRCDefault},
                          {44100, 48000, 1, eSRCDefault}, {48000, 44100, 3, eSRCLongFilter},
                          {96000, 48000, 4, eSRCDefault}, {22050, 48000, 5, eSRCShortFilter},
                          {44100, 44100, 2, eSRCDefault}};
    using Instructions = KCOnTheFlySRC::Instructions;
    for (auto instructions : {Instructions::kPortable, Instructions::kAvx2, Instructions::kAvx512})
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << c.in << " -> " << c.out << ", " << c.channels
                                            << ", instructions " << int(instructions));
            KCOnTheFlySRC::UseInstructions(instructions);
            std::vector<std::vector<float>> in(size_t(c.channels));
            uint32_t r = 7;
            for (auto& channel : in)
                for (int i = 0; i < 3000; ++i)
                    channel.push_back(NextNoise(r));
            KCOnTheFlySRC src(c.in, c.out, c.flags, c.channels);
            const auto out = Stream(src, in, 2500);
            const auto expected = Reference(src, in, out[0].size(), c.in, c.out);
            double worst = 0.0;
            for (size_t ch = 0; ch < in.size(); ++ch)
                for (size_t m = 0; m < out[ch].size(); ++m)
                    worst = std::max(worst, std::abs(double(out[ch][m]) - expected[ch][m]));
            EXPECT_LT(worst, 1e-6);
        }
    KCOnTheFlySRC::UseInstructions(Instructions::kAvx512);
}

// Process gives the frames of ReadSample and OutSample, whatever the block
// sizes, never more per block than ProcessLength, and starts again after
// InitFilter.
TEST(OnTheFlySRC, ProcessMatchesFrameByFrame) {
    struct Case {
        long in, out, channels;
    };
    // 10080 -> 48000 has a filter that leaves the ring room for few frames
    // at a time.
    const Case cases[] = {{44100, 48000, 2}, {48000, 44100, 1}, {48000, 44100, 2},
                          {96000, 48000, 3}, {96000, 48000, 2}, {22050, 48000, 2},
                          {8000, 48000, 5},  {8000, 48000, 2},  {10080, 48000, 2}};
    using Instructions = KCOnTheFlySRC::Instructions;
    for (auto instructions : {Instructions::kPortable, Instructions::kAvx2, Instructions::kAvx512})
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << c.in << " -> " << c.out << ", " << c.channels
                                            << ", instructions " << int(instructions));
            KCOnTheFlySRC::UseInstructions(instructions);
            std::vector<std::vector<float>> planar(size_t(c.channels));
            std::vector<float> interleaved;
            uint32_t r = 11;
            for (int i = 0; i < 4000; ++i)
                for (long ch = 0; ch < c.channels; ++ch) {
                    const float v = NextNoise(r);
                    planar[size_t(ch)].push_back(v);
                    interleaved.push_back(v);
                }
            KCOnTheFlySRC byFrame(c.in, c.out, eSRCDefault, c.channels);
            const auto expected = Stream(byFrame, planar, size_t(-1));

            KCOnTheFlySRC src(c.in, c.out, eSRCDefault, c.channels);
            for (int pass = 0; pass < 2; ++pass) {
                std::vector<float> out;
                long done = 0;
                for (long block : {1L, 7L, 64L, 1L, 333L, 1000L, 4000L}) {
                    block = std::min(block, 4000 - done);
                    std::vector<float> part(size_t(src.ProcessLength(block) * c.channels) + 1,
                                            -9.0f);
                    const long n =
                        src.Process(interleaved.data() + done * c.channels, block, part.data());
                    ASSERT_LE(n, src.ProcessLength(block));
                    EXPECT_EQ(part[size_t(n * c.channels)], -9.0f);
                    out.insert(out.end(), part.begin(), part.begin() + n * c.channels);
                    done += block;
                }
                ASSERT_EQ(out.size(), expected[0].size() * size_t(c.channels));
                for (size_t m = 0; m < expected[0].size(); ++m)
                    for (long ch = 0; ch < c.channels; ++ch)
                        ASSERT_EQ(out[m * size_t(c.channels) + size_t(ch)], expected[size_t(ch)][m])
                            << "frame " << m << " channel " << ch;
                src.InitFilter();
            }
        }
    KCOnTheFlySRC::UseInstructions(Instructions::kAvx512);
    KCOnTheFlySRC unset;
    float in[2] = {1.0f, 1.0f}, out[8] = {};
    EXPECT_EQ(unset.Process(in, 1, out), 0);
    EXPECT_EQ(unset.ProcessLength(100), 0);
}
