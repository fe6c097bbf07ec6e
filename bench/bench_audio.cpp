// Audio engine benchmarks: sample-rate conversion 44100 -> 48000 stereo
// float (ours, libsamplerate, soxr) with the measured signal-to-noise ratio
// and alias rejection of each, and WAV read/write throughput on a 100 MB
// file (ours, libsndfile) in a temporary folder that is removed afterwards.
#include <benchmark/benchmark.h>

#include <samplerate.h>
#include <sndfile.h>
#include <soxr.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "audio/KCOnTheFlySRC.h"
#include "audio/WavFile.h"

namespace {

constexpr double kInRate = 44100.0;
constexpr double kOutRate = 48000.0;
constexpr size_t kChannels = 2;

// A converter of interleaved stereo float as a stream: each call feeds the
// whole buffer and returns what came out.
class Converter {
public:
    virtual ~Converter() = default;
    virtual std::vector<float> Process(const std::vector<float>& in) = 0;
};

size_t OutCapacity(size_t frames) {
    return size_t(double(frames) * kOutRate / kInRate + 4096) * kChannels;
}

// Ours a frame at a time (ReadSample, OutSample).
class OursPerFrameConverter : public Converter {
public:
    std::vector<float> Process(const std::vector<float>& in) override {
        const size_t frames = in.size() / kChannels;
        std::vector<float> out(OutCapacity(frames));
        float* o = out.data();
        for (size_t i = 0; i < frames; ++i) {
            src.ReadSample(&in[i * kChannels]);
            while (need == 0) {
                src.OutSample(need, o);
                o += kChannels;
            }
            --need;
        }
        out.resize(size_t(o - out.data()));
        return out;
    }

private:
    KCOnTheFlySRC src{long(kInRate), long(kOutRate), eSRCDefault, long(kChannels)};
    long need = 0;
};

// Ours a block at a time (Process).
class OursConverter : public Converter {
public:
    std::vector<float> Process(const std::vector<float>& in) override {
        const long frames = long(in.size() / kChannels);
        std::vector<float> out(size_t(src.ProcessLength(frames)) * kChannels);
        out.resize(size_t(src.Process(in.data(), frames, out.data())) * kChannels);
        return out;
    }

private:
    KCOnTheFlySRC src{long(kInRate), long(kOutRate), eSRCDefault, long(kChannels)};
};

class LibSamplerateConverter : public Converter {
public:
    explicit LibSamplerateConverter(int type) {
        int err = 0;
        s = src_new(type, int(kChannels), &err);
    }
    ~LibSamplerateConverter() override { src_delete(s); }
    std::vector<float> Process(const std::vector<float>& in) override {
        const size_t frames = in.size() / kChannels;
        std::vector<float> out(OutCapacity(frames));
        SRC_DATA d{};
        d.src_ratio = kOutRate / kInRate;
        size_t done = 0, produced = 0;
        constexpr size_t kChunk = 4096;
        while (done < frames) {
            d.data_in = in.data() + done * kChannels;
            d.input_frames = long(std::min(kChunk, frames - done));
            d.data_out = out.data() + produced * kChannels;
            d.output_frames = long(out.size() / kChannels - produced);
            d.end_of_input = 0;
            src_process(s, &d);
            done += size_t(d.input_frames_used);
            produced += size_t(d.output_frames_gen);
            if (d.input_frames_used == 0 && d.output_frames_gen == 0)
                break;
        }
        out.resize(produced * kChannels);
        return out;
    }

private:
    SRC_STATE* s = nullptr;
};

class SoxrConverter : public Converter {
public:
    SoxrConverter() {
        soxr_error_t err = nullptr;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t q = soxr_quality_spec(SOXR_HQ, 0);
        s = soxr_create(kInRate, kOutRate, unsigned(kChannels), &err, &io, &q, nullptr);
    }
    ~SoxrConverter() override { soxr_delete(s); }
    std::vector<float> Process(const std::vector<float>& in) override {
        const size_t frames = in.size() / kChannels;
        std::vector<float> out(OutCapacity(frames));
        size_t idone = 0, odone = 0;
        soxr_process(s, in.data(), frames, &idone, out.data(), out.size() / kChannels, &odone);
        out.resize(odone * kChannels);
        return out;
    }

private:
    soxr_t s = nullptr;
};

using Factory = std::function<std::unique_ptr<Converter>()>;

std::vector<float> StereoSine(double freq, size_t frames) {
    std::vector<float> v(frames * kChannels);
    for (size_t i = 0; i < frames; ++i)
        v[2 * i] = v[2 * i + 1] =
            float(0.5 * std::sin(2.0 * std::numbers::pi * freq * double(i) / kInRate));
    return v;
}

// Least-squares fit of a sine of `freq` to channel 0 of `out` over its
// middle half: returns the fitted sine's power and leaves the residual in
// `residual`.
double FitPower(const std::vector<float>& out, double freq, std::vector<double>& residual) {
    const size_t frames = out.size() / kChannels;
    const size_t a = frames / 4, b = frames * 3 / 4;
    double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0;
    for (size_t m = a; m < b; ++m) {
        const double w = 2.0 * std::numbers::pi * freq * double(m) / kOutRate;
        const double s = std::sin(w), c = std::cos(w), y = residual[m - a];
        ss += s * s;
        cc += c * c;
        sc += s * c;
        ys += y * s;
        yc += y * c;
    }
    const double det = ss * cc - sc * sc;
    const double ka = (ys * cc - yc * sc) / det, kb = (yc * ss - ys * sc) / det;
    double power = 0;
    for (size_t m = a; m < b; ++m) {
        const double w = 2.0 * std::numbers::pi * freq * double(m) / kOutRate;
        const double fit = ka * std::sin(w) + kb * std::cos(w);
        residual[m - a] -= fit;
        power += fit * fit;
    }
    return power / double(b - a);
}

// SNR (tone against everything else) and alias rejection (tone against its
// image folded back to f + 3900 Hz) of a converter for one tone, in dB.
void Quality(const Factory& make, double freq, double& snr, double& alias) {
    const auto out = make()->Process(StereoSine(freq, size_t(kInRate)));
    const size_t frames = out.size() / kChannels;
    std::vector<double> residual;
    for (size_t m = frames / 4; m < frames * 3 / 4; ++m)
        residual.push_back(out[m * kChannels]);
    const double tone = FitPower(out, freq, residual);
    double noise = 0;
    for (double r : residual)
        noise += r * r;
    noise /= double(residual.size());
    const double image = FitPower(out, kOutRate - (kInRate - freq), residual);
    snr = 10.0 * std::log10(tone / std::max(noise, 1e-30));
    alias = 10.0 * std::log10(tone / std::max(image, 1e-30));
}

void RunConverter(benchmark::State& state, const Factory& make) {
    const auto in = StereoSine(997.0, size_t(kInRate)); // one second
    auto converter = make();
    for (auto _ : state) {
        auto out = converter->Process(in);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kInRate));
    double snr = 0, alias = 0;
    Quality(make, 1000.0, snr, alias);
    state.counters["snr_1k_dB"] = snr;
    state.counters["alias_1k_dB"] = alias;
    Quality(make, 10000.0, snr, alias);
    state.counters["snr_10k_dB"] = snr;
    state.counters["alias_10k_dB"] = alias;
}

void BM_SRC_Ours(benchmark::State& s) {
    RunConverter(s, [] { return std::make_unique<OursConverter>(); });
}
void BM_SRC_OursPerFrame(benchmark::State& s) {
    RunConverter(s, [] { return std::make_unique<OursPerFrameConverter>(); });
}
void BM_SRC_SincFastest(benchmark::State& s) {
    RunConverter(s, [] { return std::make_unique<LibSamplerateConverter>(SRC_SINC_FASTEST); });
}
void BM_SRC_SincMedium(benchmark::State& s) {
    RunConverter(s,
                 [] { return std::make_unique<LibSamplerateConverter>(SRC_SINC_MEDIUM_QUALITY); });
}
void BM_SRC_SoxrHQ(benchmark::State& s) {
    RunConverter(s, [] { return std::make_unique<SoxrConverter>(); });
}

BENCHMARK(BM_SRC_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SRC_OursPerFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SRC_SincFastest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SRC_SincMedium)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SRC_SoxrHQ)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------
// WAV files: 100 MB of 16-bit stereo at 44100 Hz

constexpr int64_t kWavFrames = 100'000'000 / 4;

struct WavFixture {
    WavFixture() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/kvbench_XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (!mkdtemp(buf.data()))
            std::abort();
        folder = buf.data();
        planar.resize(size_t(kWavFrames) * 2);
        interleaved.resize(planar.size());
        for (int64_t i = 0; i < kWavFrames; ++i) {
            const float v = float(0.8 * std::sin(double(i) * 0.0123));
            planar[size_t(i)] = interleaved[size_t(2 * i)] = v;
            planar[size_t(kWavFrames + i)] = interleaved[size_t(2 * i + 1)] = -v;
        }
    }
    ~WavFixture() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    std::string File(const char* leaf) const { return folder + "/" + leaf; }
    std::string folder;
    std::vector<float> planar, interleaved;
};

WavFixture& Fixture() {
    static WavFixture fixture;
    return fixture;
}

void WriteOurs(const std::string& path) {
    cWavFileWrite w{kvFM::KCStPath(path)};
    w.SetBitDepth(16);
    w.SetNumChans(2);
    w.SetSampleRate(44100);
    w.SetNumSamples(kWavFrames);
    if (w.SaveSampleDataFromFloat(Fixture().planar.data()) != eNoErr || w.Close() != eNoErr)
        std::abort();
}

void WriteSndfile(const std::string& path) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f || sf_writef_float(f, Fixture().interleaved.data(), kWavFrames) != kWavFrames)
        std::abort();
    sf_close(f);
}

void BM_WavWrite_Ours(benchmark::State& state) {
    const auto path = Fixture().File("ours.wav");
    for (auto _ : state)
        WriteOurs(path);
    state.SetBytesProcessed(int64_t(state.iterations()) * kWavFrames * 4);
}

void BM_WavWrite_Sndfile(benchmark::State& state) {
    const auto path = Fixture().File("sndfile.wav");
    for (auto _ : state)
        WriteSndfile(path);
    state.SetBytesProcessed(int64_t(state.iterations()) * kWavFrames * 4);
}

void BM_WavRead_Ours(benchmark::State& state) {
    const auto path = Fixture().File("read.wav");
    WriteOurs(path);
    std::vector<float> out(size_t(kWavFrames) * 2);
    for (auto _ : state) {
        cWavFileRead r{kvFM::KCStPath(path)};
        if (!r.IsValid() || r.GetSampleDataAsFloat(out.data(), r.GetNumSamples()) != eNoErr)
            std::abort();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kWavFrames * 4);
}

void BM_WavRead_Sndfile(benchmark::State& state) {
    const auto path = Fixture().File("read.wav");
    WriteOurs(path);
    std::vector<float> out(size_t(kWavFrames) * 2);
    for (auto _ : state) {
        SF_INFO info{};
        SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
        if (!f || sf_readf_float(f, out.data(), info.frames) != info.frames)
            std::abort();
        sf_close(f);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kWavFrames * 4);
}

BENCHMARK(BM_WavWrite_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WavWrite_Sndfile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WavRead_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WavRead_Sndfile)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
