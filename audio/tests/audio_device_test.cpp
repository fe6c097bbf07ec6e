// The audio device against a real JACK server running the dummy driver (the
// server named by JACK_DEFAULT_SERVER): streams are opened, run, stopped and
// closed through PortAudio's JACK host API. With no JACK device the tests
// fail: they never pass by skipping.
#include "audio/KCAudioIODevice.h"

#include <gtest/gtest.h>
#include <pa_jack.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "TempFolder.h"
#include "audio/KCAudioFileSampleSource.h"
#include "audio/KCPortAudioSession.h"
#include "audio/KCSampleChain.h"

namespace {

using namespace std::chrono_literals;

// The JACK client name of this process, so that its ports can be found.
const std::string& ClientName() {
    static const std::string name = "kvdev" + std::to_string(getpid());
    return name;
}

class JackSession : public ::testing::Environment {
public:
    void SetUp() override { PaJack_SetClientName(ClientName().c_str()); }
};
const auto* const g_session = ::testing::AddGlobalTestEnvironment(new JackSession);

struct JackDevices {
    int32_t input = -1;
    int32_t output = -1;
    int32_t rate = 0;
};

// The JACK host API's default devices and the server's rate.
JackDevices FindJack() {
    JackDevices d;
    KCPortAudioSession::GetHostApiDefaults(paJACK, d.input, d.output);
    std::vector<KCAudioDeviceInfo> devices;
    KCPortAudioSession::ListDevices(devices);
    for (const auto& info : devices)
        if (info.index == d.output)
            d.rate = static_cast<int32_t>(info.defaultSampleRate);
    return d;
}

#define REQUIRE_JACK(d)                                                                            \
    const JackDevices d = FindJack();                                                              \
    ASSERT_GE(d.output, 0) << "no JACK output device: is the JACK server running?";                \
    ASSERT_GE(d.input, 0) << "no JACK input device";                                               \
    ASSERT_GT(d.rate, 0)

// Runs a JACK command-line tool on this process's server.
bool Jack(const std::string& tool, const std::string& a, const std::string& b) {
    const std::string command = "timeout 10 " + tool + " '" + a + "' '" + b + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// The first port (in registration order) whose name starts with `prefix`:
// PortAudio numbers the ports of its streams on from one stream to the next.
std::string FirstPort(const std::string& prefix) {
    std::unique_ptr<FILE, int (*)(FILE*)> list(popen("timeout 10 jack_lsp 2>/dev/null", "r"),
                                               &pclose);
    char line[512];
    while (list && std::fgets(line, sizeof line, list.get())) {
        std::string port(line);
        while (!port.empty() && (port.back() == '\n' || port.back() == ' '))
            port.pop_back();
        if (port.rfind(prefix, 0) == 0)
            return port;
    }
    return {};
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// A source that counts its pulls, checks the block list's layout and
// remembers the state it was pulled with. It writes a constant.
class ProbeSource : public KCInputSampleSource {
public:
    KTErr GetSamples(KCSoundBufList& list, KCStreamState& state) override {
        calls.fetch_add(1);
        lastFrames = list.frames;
        lastFlags = state.flags;
        for (uint32_t c = 0; c < list.channels; ++c) {
            if (list.bufs[c].stride != int32_t(list.channels) ||
                list.bufs[c].data != list.bufs[0].data + c)
                badLayout.fetch_add(1);
        }
        if (list.frames != expectedFrames)
            wrongFrames.fetch_add(1);
        for (uint32_t c = 0; c < list.channels; ++c)
            for (uint32_t f = 0; f < list.frames; ++f)
                list.bufs[c].data[f * list.bufs[c].stride] = state.IsSilent() ? 0.0f : 0.25f;
        return eNoErr;
    }

    std::atomic<int> calls{0};
    std::atomic<int> badLayout{0};
    std::atomic<int> wrongFrames{0};
    std::atomic<uint32_t> lastFrames{0};
    std::atomic<uint32_t> lastFlags{0};
    uint32_t expectedFrames = 0;
};

KCSampleFormat Stereo(int32_t rate, int32_t bits = 32) {
    return KCSampleFormat{2, rate, bits};
}

TEST(AudioDevice, ListsTheJackDevicesInOneSession) {
    std::vector<KCAudioDeviceInfo> devices;
    ASSERT_EQ(KCPortAudioSession::ListDevices(devices), 0);
    EXPECT_TRUE(KCPortAudioSession::IsActive());
    REQUIRE_JACK(jack);
    bool found = false;
    for (const auto& info : devices) {
        EXPECT_TRUE(info.hostApiType == paALSA || info.hostApiType == paJACK) << info.name;
        if (info.index == jack.output) {
            found = true;
            EXPECT_EQ(info.hostApiType, paJACK);
            EXPECT_TRUE(info.defaultOutput);
            EXPECT_GT(info.maxOutputChannels, 0);
            EXPECT_GT(info.defaultLowOutputLatency, 0.0);
        }
    }
    EXPECT_TRUE(found);
    int32_t in = 0, out = 0;
    EXPECT_EQ(KCPortAudioSession::GetHostApiDefaults(paInDevelopment, in, out), eGenericErr);
    EXPECT_EQ(in, -1);
    EXPECT_EQ(out, -1);
}

TEST(AudioDevice, RefusalsComeBeforeAnyStreamIsOpened) {
    REQUIRE_JACK(jack);
    struct Case {
        const char* what;
        uint32_t frames;
        KCSampleFormat format;
        int32_t output;
    };
    const Case cases[] = {
        {"16-bit format", 256, Stereo(jack.rate, 16), jack.output},
        {"no channels", 256, KCSampleFormat{0, jack.rate, 32}, jack.output},
        {"17 channels", 256, KCSampleFormat{17, jack.rate, 32}, jack.output},
        {"no sample rate", 256, Stereo(0), jack.output},
        {"no frames", 0, Stereo(jack.rate), jack.output},
        {"no output device", 256, Stereo(jack.rate), -1},
        {"unknown output device", 256, Stereo(jack.rate), 100000},
        {"a rate the server does not run", 256, Stereo(jack.rate / 2), jack.output},
    };
    for (const auto& c : cases) {
        KCPortAudioAudioIODeviceAsio device;
        EXPECT_EQ(device.Open(2, c.frames, c.format, jack.input, c.output, nullptr, nullptr),
                  eGenericErr)
            << c.what;
        EXPECT_FALSE(device.IsOpen()) << c.what;
        EXPECT_EQ(device.GetStream(), nullptr) << c.what;
        EXPECT_EQ(device.Start(), eGenericErr) << c.what;
        EXPECT_EQ(device.Stop(), eNoErr) << c.what;
        EXPECT_EQ(device.Close(), eNoErr) << c.what;
    }
}

TEST(AudioDevice, ASecondOpenKeepsTheFirstStream) {
    REQUIRE_JACK(jack);
    KCPortAudioAudioIODeviceAsio device;
    ASSERT_EQ(device.Open(2, 256, Stereo(jack.rate), jack.input, jack.output, nullptr, nullptr), 0);
    PaStream* first = device.GetStream();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(device.GetStreamSampleRate(), double(jack.rate));
    EXPECT_EQ(device.GetStreamInputChannels(), 2);

    EXPECT_EQ(
        device.Open(1, 512, KCSampleFormat{1, jack.rate, 32}, -1, jack.output, nullptr, nullptr),
        0);
    EXPECT_EQ(device.GetStream(), first);
    EXPECT_EQ(device.GetFramesPerBuffer(), 256u);
    EXPECT_EQ(device.GetFormat().channels, 2);
    EXPECT_EQ(device.GetInputDevice(), jack.input);

    ASSERT_EQ(device.Close(), 0);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.GetStreamInfo(), nullptr);
    EXPECT_EQ(device.GetStreamSampleRate(), 0.0);
    // An input device of -1 (or no input channels) gives an output-only stream.
    ASSERT_EQ(
        device.Open(1, 512, KCSampleFormat{1, jack.rate, 32}, -1, jack.output, nullptr, nullptr),
        0);
    EXPECT_EQ(device.GetFramesPerBuffer(), 512u);
    EXPECT_EQ(device.GetFormat().channels, 1);
    EXPECT_EQ(device.GetStreamInputChannels(), 0);
    EXPECT_EQ(device.Close(), 0);
    ASSERT_EQ(device.Open(0, 512, Stereo(jack.rate), jack.input, jack.output, nullptr, nullptr), 0);
    EXPECT_EQ(device.GetStreamInputChannels(), 0);

    // Opening another device takes the process's one stream over.
    KCPortAudioAudioIODeviceAsio other;
    ASSERT_EQ(other.Open(2, 256, Stereo(jack.rate), jack.input, jack.output, nullptr, nullptr), 0);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.GetStream(), nullptr);
    EXPECT_NE(other.GetStream(), nullptr);
}

TEST(AudioDevice, CallbacksDeliverTheRequestedFramesUntilStop) {
    REQUIRE_JACK(jack);
    for (uint32_t frames : {64u, 128u, 256u, 512u}) {
        SCOPED_TRACE(frames);
        KCPortAudioAudioIODeviceAsio device;
        ASSERT_EQ(
            device.Open(2, frames, Stereo(jack.rate), jack.input, jack.output, nullptr, nullptr),
            0);
        ProbeSource probe;
        probe.expectedFrames = frames;
        std::unique_ptr<KCSampleSink> sink(device.CreateSampleSink());
        sink->SetInput(&probe);
        ASSERT_EQ(device.GetBlockList().channels, 2u);

        ASSERT_EQ(sink->Start(), 0);
        EXPECT_TRUE(sink->IsRunning());
        EXPECT_TRUE(device.IsRunning());
        EXPECT_TRUE(WaitFor([&] { return probe.calls >= 20; }, 5s));
        std::this_thread::sleep_for(100ms);
        ASSERT_EQ(sink->Stop(), 0);
        EXPECT_FALSE(device.IsRunning());
        const int calls = probe.calls;
        EXPECT_GE(calls, 20);
        EXPECT_EQ(probe.wrongFrames, 0);
        EXPECT_EQ(probe.badLayout, 0);
        EXPECT_EQ(probe.lastFrames, frames);
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(probe.calls, calls); // no callback after Stop returned
        EXPECT_EQ(device.Stop(), 0);
        EXPECT_FALSE(device.IsRunning());
        EXPECT_EQ(device.Close(), 0);
    }
}

TEST(AudioDevice, TheCallbackPullsWithTheDevicesState) {
    REQUIRE_JACK(jack);
    KCPortAudioAudioIODeviceAsio device;
    ASSERT_EQ(device.Open(2, 256, Stereo(jack.rate), jack.input, jack.output, nullptr, nullptr), 0);
    ProbeSource probe;
    probe.expectedFrames = 256;
    std::unique_ptr<KCSampleSink> sink(device.CreateSampleSink());
    sink->SetInput(&probe);

    // Written straight into the sink's own state: the device never sees it.
    KCStreamState silent;
    silent.flags = KCStreamState::kSilence | KCStreamState::kLoop;
    sink->KCSampleSink::SetState(silent);
    ASSERT_EQ(sink->Start(), 0);
    ASSERT_TRUE(WaitFor([&] { return probe.calls >= 3; }, 5s));
    EXPECT_EQ(probe.lastFlags, uint32_t(KCStreamState::kLoop));
    ASSERT_EQ(sink->Stop(), 0);

    // Through the sink's SetState it reaches the device and so the callback.
    sink->SetState(silent);
    EXPECT_EQ(device.GetState().flags, silent.flags);
    const int before = probe.calls;
    ASSERT_EQ(sink->Start(), 0);
    ASSERT_TRUE(WaitFor([&] { return probe.calls >= before + 3; }, 5s));
    EXPECT_EQ(probe.lastFlags, silent.flags);
    EXPECT_EQ(sink->Stop(), 0);
}

TEST(AudioDevice, SinksAndSourcesOutliveTheirDevice) {
    REQUIRE_JACK(jack);
    KCSampleChain chain;
    auto device = std::make_unique<KCPortAudioAudioIODeviceAsio>();
    ASSERT_EQ(device->Open(2, 256, Stereo(jack.rate), jack.input, jack.output, nullptr, nullptr),
              0);
    auto* probe = new ProbeSource; // the chain's
    probe->expectedFrames = 256;
    chain.SetInputSource(probe);
    chain.SetSink(device->CreateSampleSink());
    ASSERT_EQ(chain.Connect(), 0);
    ASSERT_EQ(chain.Start(), 0);
    ASSERT_TRUE(WaitFor([&] { return probe->calls >= 3; }, 5s));

    // The runner switches to another sink: the chain deletes the device's
    // sink while the device lives on.
    chain.SetSink(new KCSampleSink);
    EXPECT_EQ(device->GetSink(), nullptr);
    EXPECT_FALSE(device->IsRunning());

    // A running device's sink deleted without stopping: the device stops
    // first, so no callback pulls through a deleted sink.
    ProbeSource direct;
    direct.expectedFrames = 256;
    auto* loose = device->CreateSampleSink();
    loose->SetInput(&direct);
    ASSERT_EQ(loose->Start(), 0);
    ASSERT_TRUE(WaitFor([&] { return direct.calls >= 3; }, 5s));
    delete loose;
    EXPECT_FALSE(device->IsRunning());
    EXPECT_EQ(device->GetSink(), nullptr);

    std::unique_ptr<KCAudioIODevice::KCAudioIODeviceSampleSource> input(
        device->CreateSampleSource());
    chain.SetSink(device->CreateSampleSink());
    KCSampleSink* sink = chain.GetSink();
    device.reset();

    EXPECT_EQ(sink->Start(), eUninitalized);
    EXPECT_EQ(sink->Stop(), eUninitalized);
    KCStreamState changed;
    changed.position = 77;
    sink->SetState(changed);
    EXPECT_EQ(sink->GetState().position, 0);
    float buffer[8];
    KCSoundBufList list;
    list.Build(4, buffer, 2, 2);
    KCStreamState state;
    EXPECT_EQ(input->GetSamples(list, state), eUninitalized);
}

// Inside each pull, reads the device input into a list wider and longer
// than the stream's input, filled with a marker first, and counts the
// samples that were not written.
class WideReader : public KCInputSampleSource {
public:
    static constexpr uint32_t kChannels = 3;
    static constexpr uint32_t kFrames = 300;
    explicit WideReader(KCSampleSource* input) : input(input) {
        list.Build(kFrames, samples.data(), kChannels, kChannels);
    }
    KTErr GetSamples(KCSoundBufList& out, KCStreamState& state) override {
        samples.fill(9.0f);
        KCStreamState fresh;
        input->GetSamples(list, fresh);
        for (float v : samples)
            untouched += v != 0.0f;
        ++reads;
        out.Clear();
        return eNoErr;
    }
    KCSampleSource* input;
    std::array<float, kChannels * kFrames> samples;
    KCSoundBufList list;
    std::atomic<int> reads{0};
    std::atomic<int> untouched{0};
};

TEST(AudioDevice, ReadInputGivesOnlyWhatWasCaptured) {
    // Without a device.
    KCAudioIODevice::KCAudioIODeviceSampleSource orphan(nullptr);
    std::array<float, 32> buffer;
    buffer.fill(9.0f);
    KCSoundBufList list;
    list.Build(16, buffer.data(), 2, 2);
    KCStreamState state;
    EXPECT_EQ(orphan.GetSamples(list, state), eUninitalized);

    // Outside a callback an open device reads zeros.
    REQUIRE_JACK(jack);
    KCPortAudioAudioIODeviceAsio device;
    ASSERT_EQ(device.Open(2, 256, Stereo(jack.rate), jack.input, jack.output, nullptr, nullptr), 0);
    std::unique_ptr<KCAudioIODevice::KCAudioIODeviceSampleSource> source(
        device.CreateSampleSource());
    EXPECT_EQ(source->GetSamples(list, state), 0);
    for (float v : buffer)
        EXPECT_EQ(v, 0.0f);
    ASSERT_EQ(device.Close(), 0);

    // Inside a callback of a one-channel input: list channels beyond it and
    // frames beyond the callback's are zeros, whatever the list holds.
    ASSERT_EQ(device.Open(1, 256, Stereo(jack.rate), jack.input, jack.output, nullptr, nullptr), 0);
    ASSERT_EQ(device.GetStreamInputChannels(), 1);
    WideReader reader(source.get());
    std::unique_ptr<KCSampleSink> sink(device.CreateSampleSink());
    sink->SetInput(&reader);
    ASSERT_EQ(sink->Start(), 0);
    EXPECT_TRUE(WaitFor([&] { return reader.reads >= 5; }, 5s));
    ASSERT_EQ(sink->Stop(), 0);
    EXPECT_EQ(reader.untouched, 0);
}

// The ASIO flavour fills its channel selectors; on this platform they reach
// no stream (there is no ASIO host API), so the open succeeds.
TEST(AudioDevice, AsioSelectorsAreFilledButNotAttached) {
    REQUIRE_JACK(jack);
    int32_t outs[] = {2, 3};
    int32_t ins[] = {0};
    KCChannelList outputChannels{2, outs};
    KCChannelList inputChannels{1, ins};
    KCPortAudioAudioIODeviceAsio device;
    ASSERT_EQ(device.Open(2, 256, Stereo(jack.rate), jack.input, jack.output, &inputChannels,
                          &outputChannels),
              0);
    const KCPaAsioStreamInfo& out = device.GetOutputAsioInfo();
    EXPECT_EQ(out.hostApiType, paASIO);
    EXPECT_EQ(out.flags, 1u);
    EXPECT_EQ(out.version, 1u);
    ASSERT_NE(out.channelSelectors, nullptr);
    EXPECT_EQ(out.channelSelectors[0], 2);
    EXPECT_EQ(out.channelSelectors[1], 3);
    EXPECT_EQ(device.GetInputAsioInfo().channelSelectors[0], 0);
    EXPECT_EQ(device.GetStreamInputChannels(), 1); // the list's count
}

// Counts the statuses of its callbacks.
class CountingMirrorDevice : public KCDulmStreamPortAudioIODevice {
public:
    KTErr OnStreamCallback(const float* input, float* output, unsigned long frames,
                           const PaStreamCallbackTimeInfo* timeInfo,
                           PaStreamCallbackFlags flags) override {
        const KTErr status =
            KCDulmStreamPortAudioIODevice::OnStreamCallback(input, output, frames, timeInfo, flags);
        (status == eNoErr ? good : shortfalls).fetch_add(1);
        return status;
    }
    std::atomic<int> good{0};
    std::atomic<int> shortfalls{0};
};

TEST(AudioDevice, TheMirrorDeviceWritesEveryBlockToItsSecondStream) {
    REQUIRE_JACK(jack);
    CountingMirrorDevice device;
    EXPECT_EQ(device.Open(2, 256, Stereo(jack.rate, 16), jack.input, jack.output, nullptr, nullptr,
                          jack.output),
              eGenericErr);
    EXPECT_EQ(device.GetMirrorStream(), nullptr);
    ASSERT_EQ(device.Open(2, 256, Stereo(jack.rate), jack.input, jack.output, nullptr, nullptr,
                          jack.output),
              0);
    ASSERT_NE(device.GetMirrorStream(), nullptr);
    ProbeSource probe;
    probe.expectedFrames = 256;
    std::unique_ptr<KCSampleSink> sink(device.CreateSampleSink());
    sink->SetInput(&probe);
    ASSERT_EQ(sink->Start(), 0);
    EXPECT_TRUE(WaitFor([&] { return device.good >= 10; }, 5s));
    EXPECT_EQ(sink->Stop(), 0);
    EXPECT_EQ(device.Close(), 0);
    EXPECT_EQ(device.GetMirrorStream(), nullptr);
    EXPECT_EQ(device.GetStream(), nullptr);

    // A mirror device that does not exist: not open, and nothing left open.
    CountingMirrorDevice broken;
    EXPECT_EQ(
        broken.Open(2, 256, Stereo(jack.rate), jack.input, jack.output, nullptr, nullptr, 100000),
        eGenericErr);
    EXPECT_FALSE(broken.IsOpen());
    EXPECT_EQ(broken.GetMirrorStream(), nullptr);
    // No mirror device: an ordinary device.
    ASSERT_EQ(broken.Open(2, 256, Stereo(jack.rate), jack.input, jack.output, nullptr, nullptr, -1),
              0);
    EXPECT_EQ(broken.GetMirrorStream(), nullptr);
    EXPECT_NE(broken.GetStream(), nullptr);
}

// ---------------------------------------------------------------------------
// Round trip: the stream's first output is connected to its own first input.

constexpr int32_t kFileFrames = 12000;
constexpr size_t kPlayFrames = 48000;    // recorded while the file plays
constexpr size_t kRecordFrames = 96000;  // then while the chain is silenced
constexpr size_t kSilenceLatency = 4096; // frames for the silence to come back

// A file of distinct, non-zero 16-bit samples.
int16_t FileSample(int32_t k) {
    return static_cast<int16_t>((k % 2 ? 1 : -1) * (k / 2 + 1));
}

struct Recorder {
    std::vector<float> samples = std::vector<float>(kRecordFrames, 0.0f);
    std::atomic<size_t> frames{0};
    // Set once the loop-back connection is in place: what came before it
    // cannot hold the played file, and a slow machine may take most of a
    // second to make the connection.
    std::atomic<bool> connected{false};
};
Recorder* g_recorder = nullptr;

// Copies the main inputs to the outputs and records the first side-chain
// input (the device's captured input).
void PassThroughRecording(QuorlSoundBuf* in, int32_t inCount, int32_t frames, QuorlSoundBuf* out,
                          int32_t outCount, int32_t*, char*, char*, ExternStruct*,
                          sNativeShellInfo*) {
    for (int32_t c = 0; c < outCount; ++c)
        for (int32_t f = 0; f < frames; ++f)
            out[c].data[f * out[c].stride] = in[c].data[f * in[c].stride];
    if (!g_recorder || inCount <= outCount || !g_recorder->connected.load())
        return;
    const QuorlSoundBuf& captured = in[outCount];
    size_t at = g_recorder->frames.load();
    for (int32_t f = 0; f < frames && at < kRecordFrames; ++f)
        g_recorder->samples[at++] = captured.data[f * captured.stride];
    g_recorder->frames.store(at);
}

TEST(AudioDevice, RoundTripThroughTheChainIsExact) {
    REQUIRE_JACK(jack);
    TempFolder folder;
    std::vector<unsigned char> pcm;
    for (int32_t k = 0; k < kFileFrames; ++k) {
        const auto v = static_cast<uint16_t>(FileSample(k));
        pcm.push_back(uint8_t(v));
        pcm.push_back(uint8_t(v >> 8));
    }
    const std::string file = folder.File("ramp.wav");
    WriteBytes(file, WavBytes::Riff()
                         .Fmt(1, 1, uint32_t(jack.rate), 16)
                         .Id("data")
                         .U32(uint32_t(pcm.size()))
                         .Raw(pcm)
                         .Done());

    Recorder recorder;
    g_recorder = &recorder;
    size_t silenceFrom = kRecordFrames;
    {
        auto* device = new KCPortAudioAudioIODeviceAsio;
        ASSERT_EQ(
            device->Open(2, 256, Stereo(jack.rate), jack.input, jack.output, nullptr, nullptr), 0);
        std::unique_ptr<KCAudioIODevice::KCAudioIODeviceSampleSource> input(
            device->CreateSampleSource());
        auto* wav = new KCAudioFileSampleSource(kvFM::KCStPath(file)); // the chain's
        ASSERT_TRUE(wav->IsValid());
        auto* element =
            new KCQuorlProcessChainElement(2, 256, 2, nullptr, &PassThroughRecording, nullptr);
        ASSERT_EQ(element->SetSideChainSource(256, input.get(), 2), 0);

        KCSampleChain chain;
        chain.SetInputSource(wav);
        chain.AppendElement(element);
        chain.SetSink(device->CreateSampleSink());
        ASSERT_EQ(chain.Connect(), 0);
        ASSERT_EQ(chain.Start(), 0);

        const std::string me = ClientName();
        const std::string in = FirstPort(me + ":in_"), out = FirstPort(me + ":out_");
        ASSERT_FALSE(in.empty());
        ASSERT_FALSE(out.empty());
        Jack("jack_disconnect", "system:capture_1", in);
        EXPECT_TRUE(Jack("jack_connect", out, in));
        recorder.connected.store(true);
        EXPECT_TRUE(WaitFor([&] { return recorder.frames.load() >= kPlayFrames; }, 10s));
        // The silence bit set through the sink reaches the callback's pulls.
        KCStreamState silent;
        silent.flags = KCStreamState::kSilence | KCStreamState::kLoop;
        silenceFrom = recorder.frames.load() + kSilenceLatency;
        chain.GetSink()->SetState(silent);
        EXPECT_TRUE(WaitFor([&] { return recorder.frames.load() >= kRecordFrames; }, 10s));
        EXPECT_EQ(chain.Stop(), 0);
        delete device;
    }
    g_recorder = nullptr;

    // From the first captured sample on, the input is the played file after
    // a constant delay of whole frames.
    const size_t recorded = std::min(recorder.frames.load(), kPlayFrames);
    size_t first = 0;
    while (first < recorded && recorder.samples[first] == 0.0f)
        ++first;
    ASSERT_LT(first + kFileFrames, recorded) << "nothing came back";
    int32_t fileIndex = -1;
    for (int32_t k = 0; k < kFileFrames; ++k)
        if (recorder.samples[first] == FileSample(k) / 32768.0f)
            fileIndex = k;
    ASSERT_GE(fileIndex, 0);
    size_t mismatches = 0;
    for (size_t n = first; n < recorded; ++n) {
        const int32_t k = int32_t((fileIndex + (n - first)) % kFileFrames);
        if (recorder.samples[n] != FileSample(k) / 32768.0f)
            ++mismatches;
    }
    EXPECT_EQ(mismatches, 0u) << "delay " << (int64_t(first) - fileIndex) << " frames";

    size_t loud = 0;
    for (size_t n = silenceFrom; n < recorder.frames; ++n)
        loud += recorder.samples[n] != 0.0f;
    EXPECT_LT(silenceFrom, size_t(recorder.frames));
    EXPECT_EQ(loud, 0u);
}

} // namespace
