// The audio device: the sink that drives real-time playback through one
// full-duplex PortAudio stream of interleaved 32-bit floats. In every
// callback the device points its block list at PortAudio's output buffer and
// pulls the chain into it; the callback's input block can be read back by the
// device's input source.
//
// Open, Start, Stop and Close run on the GUI thread; the callback, ReadInput
// and the pulled chain on PortAudio's callback thread. The hand-over between
// the two is `running`, the current sink and the input block, all atomics.
#pragma once

#include <portaudio.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/KCSampleGraph.h"

class KCAudioIODevice : public KCSampleSink {
public:
    class KCAudioIODeviceSampleSink;
    class KCAudioIODeviceSampleSource;

    KCAudioIODevice() = default;
    // Leaves every sink and source made by this device answering -9.
    ~KCAudioIODevice() override;

    // Copies the captured input of the current callback into the list.
    virtual KTErr ReadInput(KCSoundBufList& list, KCStreamState& state) = 0;

    // A new input source bound to this device; the caller owns it.
    KCAudioIODeviceSampleSource* CreateSampleSource();
    // A new sink bound to this device, remembered as the device's sink (the
    // one the callback pulls); the caller (the chain) owns it.
    KCAudioIODeviceSampleSink* CreateSampleSink();

    KCAudioIODeviceSampleSink* GetSink() const { return sink.load(std::memory_order_acquire); }

protected:
    // The sink whose input the callback pulls; null when none.
    std::atomic<KCAudioIODeviceSampleSink*> sink{nullptr};

private:
    friend class KCAudioIODeviceSampleSink;
    friend class KCAudioIODeviceSampleSource;
    void Forget(KCAudioIODeviceSampleSink* s);
    void Forget(KCAudioIODeviceSampleSource* s);

    std::vector<KCAudioIODeviceSampleSink*> sinks;     // every live sink made here
    std::vector<KCAudioIODeviceSampleSource*> sources; // every live source made here
};

// The chain's handle on a device: mirrors the device's running state and
// forwards the sink calls to it.
class KCAudioIODevice::KCAudioIODeviceSampleSink : public KCSampleSink {
public:
    explicit KCAudioIODeviceSampleSink(KCAudioIODevice* device) : device(device) {}
    ~KCAudioIODeviceSampleSink() override;

    // Without a device nothing happens; else the state goes to this sink and
    // to the device, which pulls with it.
    void SetState(const KCStreamState& s) override;
    // -9 without a device.
    KTErr Start() override;
    KTErr Stop() override;

    KCAudioIODevice* GetDevice() const { return device; }
    void ClearDevice() { device = nullptr; }

private:
    KCAudioIODevice* device; // not owned
};

// The captured input of the device at the head of a chain.
class KCAudioIODevice::KCAudioIODeviceSampleSource : public KCInputSampleSource {
public:
    explicit KCAudioIODeviceSampleSource(KCAudioIODevice* device) : device(device) {}
    ~KCAudioIODeviceSampleSource() override;

    // The device's ReadInput; -9 without a device.
    KTErr GetSamples(KCSoundBufList& list, KCStreamState& state) override;

    KCAudioIODevice* GetDevice() const { return device; }
    void ClearDevice() { device = nullptr; }

private:
    KCAudioIODevice* device; // not owned
};

class KCPortAudioAudioIODevice : public KCAudioIODevice {
public:
    KCPortAudioAudioIODevice();
    // Opens nothing: only stores the parameters and builds the block list.
    KCPortAudioAudioIODevice(uint32_t framesPerBuffer, const KCSampleFormat& format,
                             int32_t inputDevice, int32_t outputDevice);
    ~KCPortAudioAudioIODevice() override;

    // -1 when PortAudio refuses; `running` then stays as it was.
    KTErr Start() override;
    // Stops the stream when it runs; -1 when that fails. The device counts as
    // stopped in every case.
    KTErr Stop() override;
    // Reads what the current callback captured: zeros with the silence bit,
    // for channels beyond the stream's input, for frames beyond the
    // callback's, and outside a callback.
    KTErr ReadInput(KCSoundBufList& list, KCStreamState& state) override;

    // Stops and closes this device's stream; PortAudio's status.
    virtual KTErr CloseStream();
    // Opens the process's stream: an input of inputChannels->count channels
    // (else inputChannelCount) from inputDevice, format.channels outputs to
    // outputDevice. An input device of -1 or no input channels opens an
    // output-only stream. Returns 0 (also on an open device, which is left
    // as it is) or -1 (the device is then closed).
    virtual KTErr Open(int32_t inputChannelCount, uint32_t framesPerBuffer,
                       const KCSampleFormat& format, int32_t inputDevice, int32_t outputDevice,
                       const KCChannelList* inputChannels, const KCChannelList* outputChannels);
    // Attaches host-API records to the stream parameters before the open.
    virtual KTErr SetHostApiStreamInfo(int32_t inputDevice, int32_t outputDevice,
                                       PaStreamParameters* in, PaStreamParameters* out) = 0;
    // Closes the stream and frees the block list; `open` is cleared only when
    // the close succeeded.
    virtual KTErr Close();
    // The audio thread's work: pulls the chain into the output block.
    virtual KTErr OnStreamCallback(const float* input, float* output, unsigned long frames,
                                   const PaStreamCallbackTimeInfo* timeInfo,
                                   PaStreamCallbackFlags statusFlags);

    bool IsOpen() const { return open; }
    // This device's stream, null when it has none.
    PaStream* GetStream() const;
    // The stream's record, null without a valid stream.
    const PaStreamInfo* GetStreamInfo() const;
    // The stream's actual sample rate, 0 without a stream.
    double GetStreamSampleRate() const;

    uint32_t GetFramesPerBuffer() const { return framesPerBuffer; }
    const KCSampleFormat& GetFormat() const { return format; }
    int32_t GetInputDevice() const { return inputDevice; }
    int32_t GetOutputDevice() const { return outputDevice; }
    // The input channels of the open stream (0 for an output-only stream).
    int32_t GetStreamInputChannels() const { return streamInputChannels; }
    const KCSoundBufList& GetBlockList() const { return blockList; }
    // Why the last Open failed, in words; empty after one that succeeded.
    const std::string& GetOpenError() const { return openError; }

protected:
    // Closes the process stream when this device owns it, stopping it first.
    KTErr CloseProcessStream();

    uint32_t framesPerBuffer = 0;
    KCSampleFormat format;
    KCSoundBufList blockList;
    int32_t unused = 0;
    int32_t inputDevice = -1;
    int32_t outputDevice = -1;
    std::atomic<const float*> inputBuffer{nullptr}; // input of the running callback
    bool open = false;
    const KCChannelList* inputChannels = nullptr;  // not owned
    const KCChannelList* outputChannels = nullptr; // not owned

private:
    static int StreamCallback(const void* input, void* output, unsigned long frames,
                              const PaStreamCallbackTimeInfo* timeInfo,
                              PaStreamCallbackFlags statusFlags, void* userData);
    KTErr OpenStream(int32_t inputChannelCount);
    void ZeroOutput(float* output, unsigned long frames) const;

    std::atomic<bool> callbackRunning{false}; // `running` as the audio thread sees it
    std::atomic<uint32_t> inputFrames{0};     // frames of the running callback's input
    int32_t streamInputChannels = 0;
    int32_t streamOutputChannels = 0;
    std::string openError;
};

// PortAudio's ASIO channel-selector record, in PortAudio's field order.
struct KCPaAsioStreamInfo {
    unsigned long size = 0;
    PaHostApiTypeId hostApiType = paInDevelopment;
    unsigned long version = 0;
    unsigned long flags = 0;
    int* channelSelectors = nullptr;
};
static_assert(offsetof(KCPaAsioStreamInfo, size) == 0);
static_assert(offsetof(KCPaAsioStreamInfo, hostApiType) == sizeof(unsigned long));
static_assert(offsetof(KCPaAsioStreamInfo, version) == 2 * sizeof(unsigned long));
static_assert(offsetof(KCPaAsioStreamInfo, channelSelectors) == 4 * sizeof(unsigned long));

// The host's device: the stream parameters carry ASIO channel selectors when
// a device belongs to the ASIO host API.
class KCPortAudioAudioIODeviceAsio : public KCPortAudioAudioIODevice {
public:
    static constexpr unsigned long kAsioVersion = 1;
    static constexpr unsigned long kUseChannelSelectors = 1;

    using KCPortAudioAudioIODevice::KCPortAudioAudioIODevice;

    KTErr SetHostApiStreamInfo(int32_t inputDevice, int32_t outputDevice, PaStreamParameters* in,
                               PaStreamParameters* out) override;

    const KCPaAsioStreamInfo& GetInputAsioInfo() const { return inputAsioInfo; }
    const KCPaAsioStreamInfo& GetOutputAsioInfo() const { return outputAsioInfo; }

private:
    std::vector<int> outputSelectors;
    std::vector<int> inputSelectors;
    KCPaAsioStreamInfo inputAsioInfo;
    KCPaAsioStreamInfo outputAsioInfo;
};

// A device that also writes every output block to a second, blocking
// output stream.
class KCDulmStreamPortAudioIODevice : public KCPortAudioAudioIODevice {
public:
    using KCPortAudioAudioIODevice::KCPortAudioAudioIODevice;
    ~KCDulmStreamPortAudioIODevice() override;

    // The device's Open, then (for a mirror device index of 0 or above) the
    // mirror stream; -1 when the bit depth is not 32 or the mirror fails to
    // open (the device then counts as not open).
    KTErr Open(int32_t inputChannelCount, uint32_t framesPerBuffer, const KCSampleFormat& format,
               int32_t inputDevice, int32_t outputDevice, const KCChannelList* inputChannels,
               const KCChannelList* outputChannels, int32_t mirrorDevice);
    using KCPortAudioAudioIODevice::Open;

    KTErr Start() override;
    KTErr Stop() override;
    KTErr CloseStream() override;
    KTErr SetHostApiStreamInfo(int32_t, int32_t, PaStreamParameters*,
                               PaStreamParameters*) override {
        return eNoErr;
    }
    // The device's callback, then the block to the mirror stream, as much as
    // it takes without waiting; a shortfall makes the status -1.
    KTErr OnStreamCallback(const float* input, float* output, unsigned long frames,
                           const PaStreamCallbackTimeInfo* timeInfo,
                           PaStreamCallbackFlags statusFlags) override;

    PaStream* GetMirrorStream() const { return mirrorStream; }

private:
    KTErr CloseMirror();

    PaStream* mirrorStream = nullptr;
};
