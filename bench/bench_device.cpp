// Audio device benchmark: the cost of the device's callback against a bare
// PortAudio callback, on a JACK dummy server that this program starts itself
// (48 kHz, 64-frame periods, so one period is 1.33 ms).
//
//  BM_Callback_Bare:   a PortAudio callback that copies a precomputed block.
//  BM_Callback_Device: the device pulling a WAV file source through a
//                      pass-through processing element.
//
// Each runs for 10 s; the reported time is the mean time spent inside one
// callback, with the maximum, the callback count and the callbacks whose
// status flags report an under- or overflow.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <pa_jack.h>
#include <portaudio.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "audio/KCAudioFileSampleSource.h"
#include "audio/KCAudioIODevice.h"
#include "audio/KCPortAudioSession.h"
#include "audio/KCSampleChain.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRate = 48000;
constexpr unsigned kFrames = 64;
constexpr int kChannels = 2;
constexpr auto kRunTime = std::chrono::seconds(10);
constexpr PaStreamCallbackFlags kXrunFlags =
    paInputUnderflow | paInputOverflow | paOutputUnderflow | paOutputOverflow;

// Times of the callbacks of one run, written by the audio thread only.
struct CallbackTimes {
    std::atomic<int64_t> count{0};
    std::atomic<int64_t> totalNs{0};
    std::atomic<int64_t> maxNs{0};
    std::atomic<int64_t> xruns{0};

    void Add(Clock::time_point start, PaStreamCallbackFlags flags) {
        const int64_t ns =
            std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
        count.fetch_add(1, std::memory_order_relaxed);
        totalNs.fetch_add(ns, std::memory_order_relaxed);
        if (ns > maxNs.load(std::memory_order_relaxed))
            maxNs.store(ns, std::memory_order_relaxed);
        if (flags & kXrunFlags)
            xruns.fetch_add(1, std::memory_order_relaxed);
    }
    void Report(benchmark::State& state) const {
        const double n = double(std::max<int64_t>(count, 1));
        const double mean = double(totalNs) / n;
        state.SetIterationTime(mean * 1e-9);
        state.counters["mean_us"] = mean / 1000.0;
        state.counters["max_us"] = double(maxNs) / 1000.0;
        state.counters["callbacks"] = double(count);
        state.counters["xruns"] = double(xruns);
    }
};

// The JACK server of this run, with a name of its own.
class JackServer {
public:
    JackServer() : name("kvbench" + std::to_string(getpid())) {
        setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        const std::string rate = std::to_string(kRate), period = std::to_string(kFrames);
        const char* argv[] = {"jackd", "--no-realtime", "-n", name.c_str(),   "-d",   "dummy",
                              "-r",    rate.c_str(),    "-p", period.c_str(), nullptr};
        // The server's chatter (its xrun lines among them) stays out of the report.
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&quiet, 1, 2);
        if (posix_spawnp(&pid, "jackd", &quiet, nullptr, const_cast<char**>(argv), environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&quiet);
        ready = pid > 0 && std::system("jack_wait -w -t 10 >/dev/null 2>&1") == 0;
    }
    ~JackServer() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    std::string name;
    pid_t pid = -1;
    bool ready = false;
};

struct JackDevices {
    int32_t input = -1;
    int32_t output = -1;
};

JackDevices Devices() {
    JackDevices d;
    KCPortAudioSession::GetHostApiDefaults(paJACK, d.input, d.output);
    return d;
}

// ---------------------------------------------------------------------------
// (a) a bare callback

struct BareContext {
    std::vector<float> block = std::vector<float>(kFrames * kChannels);
    CallbackTimes times;
};

int BareCallback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                 PaStreamCallbackFlags flags, void* user) {
    const Clock::time_point start = Clock::now();
    auto* context = static_cast<BareContext*>(user);
    const size_t floats = std::min<size_t>(frames * kChannels, context->block.size());
    std::copy_n(context->block.data(), floats, static_cast<float*>(output));
    context->times.Add(start, flags);
    return paContinue;
}

void BM_Callback_Bare(benchmark::State& state) {
    const JackDevices jack = Devices();
    BareContext context;
    for (size_t i = 0; i < context.block.size(); ++i)
        context.block[i] = float(0.5 * std::sin(double(i) * 0.1));
    const PaDeviceInfo* in = Pa_GetDeviceInfo(jack.input);
    const PaDeviceInfo* out = Pa_GetDeviceInfo(jack.output);
    if (!in || !out) {
        state.SkipWithError("no JACK device");
        return;
    }
    PaStreamParameters inParams{jack.input, kChannels, paFloat32, in->defaultLowInputLatency,
                                nullptr};
    PaStreamParameters outParams{jack.output, kChannels, paFloat32, out->defaultLowOutputLatency,
                                 nullptr};
    PaStream* stream = nullptr;
    if (Pa_OpenStream(&stream, &inParams, &outParams, kRate, kFrames, paDitherOff, &BareCallback,
                      &context) != paNoError) {
        state.SkipWithError("the stream did not open");
        return;
    }
    for (auto _ : state) {
        Pa_StartStream(stream);
        std::this_thread::sleep_for(kRunTime);
        Pa_StopStream(stream);
        context.times.Report(state);
    }
    Pa_CloseStream(stream);
}

// ---------------------------------------------------------------------------
// (b) the device pulling the chain

class TimedDevice : public KCPortAudioAudioIODeviceAsio {
public:
    KTErr OnStreamCallback(const float* input, float* output, unsigned long frames,
                           const PaStreamCallbackTimeInfo* timeInfo,
                           PaStreamCallbackFlags flags) override {
        const Clock::time_point start = Clock::now();
        const KTErr status =
            KCPortAudioAudioIODeviceAsio::OnStreamCallback(input, output, frames, timeInfo, flags);
        times.Add(start, flags);
        return status;
    }
    CallbackTimes times;
};

void PassThrough(QuorlSoundBuf* in, int32_t, int32_t frames, QuorlSoundBuf* out, int32_t outCount,
                 int32_t*, char*, char*, ExternStruct*, sNativeShellInfo*) {
    for (int32_t c = 0; c < outCount; ++c)
        for (int32_t f = 0; f < frames; ++f)
            out[c].data[f * out[c].stride] = in[c].data[f * in[c].stride];
}

void Put16(std::ofstream& out, uint16_t v) {
    const char bytes[2] = {char(v & 0xFF), char(v >> 8)};
    out.write(bytes, 2);
}
void Put32(std::ofstream& out, uint32_t v) {
    Put16(out, uint16_t(v));
    Put16(out, uint16_t(v >> 16));
}

// One second of a stereo 16-bit tone.
std::string WriteToneFile() {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("kvbench_tone_" + std::to_string(getpid()) + ".wav"))
                                 .string();
    std::ofstream out(path, std::ios::binary);
    const uint32_t dataBytes = kRate * kChannels * 2;
    out.write("RIFF", 4);
    Put32(out, 36 + dataBytes);
    out.write("WAVEfmt ", 8);
    Put32(out, 16);
    Put16(out, 1);
    Put16(out, kChannels);
    Put32(out, kRate);
    Put32(out, kRate * kChannels * 2);
    Put16(out, kChannels * 2);
    Put16(out, 16);
    out.write("data", 4);
    Put32(out, dataBytes);
    for (int i = 0; i < kRate; ++i) {
        const auto v = uint16_t(int16_t(10000.0 * std::sin(double(i) * 0.05)));
        Put16(out, v);
        Put16(out, v);
    }
    return path;
}

void BM_Callback_Device(benchmark::State& state) {
    const JackDevices jack = Devices();
    const std::string file = WriteToneFile();
    auto* device = new TimedDevice;
    if (device->Open(kChannels, kFrames, KCSampleFormat{kChannels, kRate, 32}, jack.input,
                     jack.output, nullptr, nullptr) != eNoErr) {
        state.SkipWithError("the device did not open");
        delete device;
        return;
    }
    {
        KCSampleChain chain;
        chain.SetInputSource(new KCAudioFileSampleSource(kvFM::KCStPath(file)));
        chain.AppendElement(
            new KCQuorlProcessChainElement(kChannels, kFrames, 0, nullptr, &PassThrough, nullptr));
        chain.SetSink(device->CreateSampleSink());
        chain.Connect();
        for (auto _ : state) {
            chain.Start();
            std::this_thread::sleep_for(kRunTime);
            chain.Stop();
            device->times.Report(state);
        }
        delete device; // before the chain, which still holds the device's sink
    }
    std::filesystem::remove(file);
}

BENCHMARK(BM_Callback_Bare)->Iterations(1)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Callback_Device)->Iterations(1)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    JackServer server;
    if (!server.ready) {
        std::fprintf(stderr, "The JACK server %s did not come up.\n", server.name.c_str());
        return 1;
    }
    PaJack_SetClientName("kvbench");
    if (KCPortAudioSession::Acquire() != eNoErr || Devices().output < 0) {
        std::fprintf(stderr, "PortAudio lists no JACK device.\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    KCPortAudioSession::Terminate();
    return 0;
}
