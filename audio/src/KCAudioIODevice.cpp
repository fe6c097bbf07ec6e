#include "audio/KCAudioIODevice.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

#include "PortAudioSessionInternal.h"
#include "audio/KCAsioDrivers.h"
#include "audio/KCPortAudioSession.h"

namespace {

// The one full-duplex stream of the process and the device that opened it.
// Touched on the GUI thread only.
struct ProcessStream {
    PaStream* stream = nullptr;
    KCPortAudioAudioIODevice* owner = nullptr;
};
ProcessStream gProcess;

const PaDeviceInfo* DeviceInfo(int32_t device) {
    return device >= 0 ? Pa_GetDeviceInfo(device) : nullptr;
}

bool IsAsioDevice(int32_t device) {
    const PaDeviceInfo* info = DeviceInfo(device);
    const PaHostApiInfo* api = info ? Pa_GetHostApiInfo(info->hostApi) : nullptr;
    return api && api->type == paASIO;
}

PaStreamParameters StreamParameters(int32_t device, int32_t channels, double latency) {
    PaStreamParameters p{};
    p.device = device;
    p.channelCount = channels;
    p.sampleFormat = paFloat32;
    p.suggestedLatency = latency;
    p.hostApiSpecificStreamInfo = nullptr;
    return p;
}

bool IsUsableFormat(uint32_t frames, const KCSampleFormat& format) {
    return format.channels > 0 && static_cast<uint32_t>(format.channels) <= kMaxSoundBufChannels &&
           format.bitsPerSample == 32 && format.sampleRate > 0 && frames > 0;
}

template <class T>
void Erase(std::vector<T*>& v, T* item) {
    v.erase(std::remove(v.begin(), v.end(), item), v.end());
}

} // namespace

// ---------------------------------------------------------------------------
// KCAudioIODevice

KCAudioIODevice::~KCAudioIODevice() {
    sink.store(nullptr, std::memory_order_release);
    for (auto* s : sinks)
        s->ClearDevice();
    for (auto* s : sources)
        s->ClearDevice();
}

KCAudioIODevice::KCAudioIODeviceSampleSource* KCAudioIODevice::CreateSampleSource() {
    auto* source = new KCAudioIODeviceSampleSource(this);
    sources.push_back(source);
    return source;
}

KCAudioIODevice::KCAudioIODeviceSampleSink* KCAudioIODevice::CreateSampleSink() {
    auto* s = new KCAudioIODeviceSampleSink(this);
    sinks.push_back(s);
    sink.store(s, std::memory_order_release);
    return s;
}

void KCAudioIODevice::Forget(KCAudioIODeviceSampleSink* s) {
    Erase(sinks, s);
    if (sink.load(std::memory_order_acquire) != s)
        return;
    // The callback may be pulling through this sink right now: the stream
    // stops (after its last callback) before the sink goes.
    if (IsRunning())
        Stop();
    sink.store(nullptr, std::memory_order_release);
}

void KCAudioIODevice::Forget(KCAudioIODeviceSampleSource* s) {
    Erase(sources, s);
}

KCAudioIODevice::KCAudioIODeviceSampleSink::~KCAudioIODeviceSampleSink() {
    if (device)
        device->Forget(this);
}

void KCAudioIODevice::KCAudioIODeviceSampleSink::SetState(const KCStreamState& s) {
    if (!device)
        return;
    state = s;
    device->SetState(s);
}

KTErr KCAudioIODevice::KCAudioIODeviceSampleSink::Start() {
    if (!device)
        return eUninitalized;
    running = true;
    return device->Start();
}

KTErr KCAudioIODevice::KCAudioIODeviceSampleSink::Stop() {
    if (!device)
        return eUninitalized;
    running = false;
    return device->Stop();
}

KCAudioIODevice::KCAudioIODeviceSampleSource::~KCAudioIODeviceSampleSource() {
    if (device)
        device->Forget(this);
}

KTErr KCAudioIODevice::KCAudioIODeviceSampleSource::GetSamples(KCSoundBufList& list,
                                                               KCStreamState& state) {
    return device ? device->ReadInput(list, state) : eUninitalized;
}

// ---------------------------------------------------------------------------
// KCPortAudioAudioIODevice

KCPortAudioAudioIODevice::KCPortAudioAudioIODevice() = default;

KCPortAudioAudioIODevice::KCPortAudioAudioIODevice(uint32_t frames, const KCSampleFormat& f,
                                                   int32_t input, int32_t output)
    : framesPerBuffer(frames), format(f), inputDevice(input), outputDevice(output) {
    if (f.channels > 0)
        blockList.Build(frames, nullptr, static_cast<uint32_t>(f.channels), f.channels);
}

KCPortAudioAudioIODevice::~KCPortAudioAudioIODevice() {
    // Also a stream left open behind a device that counts as not open.
    KCPortAudioAudioIODevice::CloseStream();
    blockList.Build(0, nullptr, 0, 0);
    open = false;
}

PaStream* KCPortAudioAudioIODevice::GetStream() const {
    return gProcess.owner == this ? gProcess.stream : nullptr;
}

const PaStreamInfo* KCPortAudioAudioIODevice::GetStreamInfo() const {
    PaStream* s = GetStream();
    return s ? Pa_GetStreamInfo(s) : nullptr;
}

double KCPortAudioAudioIODevice::GetStreamSampleRate() const {
    const PaStreamInfo* info = GetStreamInfo();
    return info ? info->sampleRate : 0.0;
}

KTErr KCPortAudioAudioIODevice::Start() {
    PaStream* s = GetStream();
    if (!s || Pa_StartStream(s) != paNoError)
        return eGenericErr;
    running = true;
    callbackRunning.store(true, std::memory_order_release);
    return eNoErr;
}

KTErr KCPortAudioAudioIODevice::Stop() {
    KTErr status = eNoErr;
    PaStream* s = GetStream();
    if (s && Pa_IsStreamStopped(s) == 0 && Pa_StopStream(s) != paNoError)
        status = eGenericErr;
    callbackRunning.store(false, std::memory_order_release);
    running = false;
    return status;
}

KTErr KCPortAudioAudioIODevice::CloseStream() {
    return CloseProcessStream();
}

KTErr KCPortAudioAudioIODevice::CloseProcessStream() {
    PaStream* s = GetStream();
    if (!s)
        return eNoErr;
    Stop();
    const PaError closed = Pa_CloseStream(s);
    gProcess = {};
    KCPortAudioSession::NoteStreamClosed();
    streamInputChannels = 0;
    streamOutputChannels = 0;
    inputBuffer.store(nullptr, std::memory_order_release);
    return closed;
}

KTErr KCPortAudioAudioIODevice::Close() {
    if (!open)
        return eNoErr;
    const KTErr status = CloseStream();
    blockList.Build(0, nullptr, 0, 0);
    if (status == eNoErr)
        open = false;
    return status;
}

KTErr KCPortAudioAudioIODevice::Open(int32_t inputChannelCount, uint32_t frames,
                                     const KCSampleFormat& f, int32_t input, int32_t output,
                                     const KCChannelList* inChannels,
                                     const KCChannelList* outChannels) {
    inputChannels = inChannels;
    outputChannels = outChannels;
    const int32_t inputCount = inChannels ? inChannels->count : inputChannelCount;
    if (open)
        return eNoErr;

    CloseStream();
    // The stream is the process's: a stream another device opened goes.
    if (gProcess.owner && gProcess.owner != this)
        gProcess.owner->Close();
    framesPerBuffer = frames;
    format = f;
    inputDevice = input;
    outputDevice = output;
    running = false;
    callbackRunning.store(false, std::memory_order_release);
    open = false;

    // Every refusal comes before the stream is opened.
    openError.clear();
    if (!IsUsableFormat(frames, f)) {
        openError = "a format of " + std::to_string(f.channels) + " channels, " +
                    std::to_string(f.sampleRate) + " Hz, " + std::to_string(f.bitsPerSample) +
                    " bits and " + std::to_string(frames) + " frames per buffer is not played";
        return eGenericErr;
    }
    try {
        const KTErr status = OpenStream(inputCount);
        if (status != eNoErr)
            return status;
        blockList.Build(framesPerBuffer, nullptr, static_cast<uint32_t>(f.channels), f.channels);
    } catch (...) {
        CloseStream();
        openError = "out of memory";
        return eGenericErr;
    }
    open = true;
    return eNoErr;
}

namespace {

// What PortAudio says of a failed call, with the host API's own text when
// it has one.
std::string PortAudioErrorText(PaError error) {
    std::string text = Pa_GetErrorText(error);
    const PaHostErrorInfo* host =
        error == paUnanticipatedHostError ? Pa_GetLastHostErrorInfo() : nullptr;
    if (host && host->errorText && host->errorText[0] != '\0')
        text += std::string(": ") + host->errorText;
    return text;
}

std::string DeviceName(const PaDeviceInfo* info, int32_t device) {
    return info && info->name ? "\"" + std::string(info->name) + "\""
                              : "device " + std::to_string(device);
}

} // namespace

KTErr KCPortAudioAudioIODevice::OpenStream(int32_t inputCount) {
    if (KCPortAudioSession::Acquire() != eNoErr) {
        openError = "the audio system (PortAudio) cannot start";
        return eGenericErr;
    }
    const PaDeviceInfo* outInfo = DeviceInfo(outputDevice);
    if (!outInfo) {
        openError = outputDevice < 0 ? "no output device was found"
                                     : "there is no output device " + std::to_string(outputDevice);
        return eGenericErr;
    }
    // No capture device (or no channels of it) gives an output-only stream.
    const bool withInput = inputDevice != -1 && inputCount > 0;
    const PaDeviceInfo* inInfo = withInput ? DeviceInfo(inputDevice) : nullptr;
    if (withInput && !inInfo) {
        openError = "there is no input device " + std::to_string(inputDevice);
        return eGenericErr;
    }

    PaStreamParameters in =
        StreamParameters(inputDevice, inputCount, inInfo ? inInfo->defaultLowInputLatency : 0.0);
    PaStreamParameters out =
        StreamParameters(outputDevice, format.channels, outInfo->defaultLowOutputLatency);
    SetHostApiStreamInfo(inputDevice, outputDevice, &in, &out);

    PaStream* stream = nullptr;
    const PaError opened =
        Pa_OpenStream(&stream, withInput ? &in : nullptr, &out, format.sampleRate, framesPerBuffer,
                      paDitherOff, &KCPortAudioAudioIODevice::StreamCallback, this);
    if (opened != paNoError) {
        openError = PortAudioErrorText(opened) + " (" + DeviceName(outInfo, outputDevice) + ", " +
                    std::to_string(format.channels) + " channels at " +
                    std::to_string(format.sampleRate) + " Hz)";
        return eGenericErr;
    }
    gProcess = {stream, this};
    KCPortAudioSession::NoteStreamOpened();
    streamInputChannels = withInput ? inputCount : 0;
    streamOutputChannels = format.channels;

    // An ASIO driver fixes its own buffer size (only a stream of the ASIO
    // host API runs at that size).
    if (IsAsioDevice(outputDevice)) {
        long minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
        if (ASIOGetBufferSize(&minSize, &maxSize, &preferred, &granularity) == 0 && preferred > 0)
            framesPerBuffer = static_cast<uint32_t>(preferred);
    }
    return eNoErr;
}

int KCPortAudioAudioIODevice::StreamCallback(const void* input, void* output, unsigned long frames,
                                             const PaStreamCallbackTimeInfo* timeInfo,
                                             PaStreamCallbackFlags statusFlags, void* userData) {
    auto* device = static_cast<KCPortAudioAudioIODevice*>(userData);
    device->OnStreamCallback(static_cast<const float*>(input), static_cast<float*>(output), frames,
                             timeInfo, statusFlags);
    return paContinue;
}

void KCPortAudioAudioIODevice::ZeroOutput(float* output, unsigned long frames) const {
    if (output && streamOutputChannels > 0)
        std::memset(output, 0, sizeof(float) * frames * static_cast<size_t>(streamOutputChannels));
}

KTErr KCPortAudioAudioIODevice::OnStreamCallback(const float* input, float* output,
                                                 unsigned long frames,
                                                 const PaStreamCallbackTimeInfo*,
                                                 PaStreamCallbackFlags) {
    KCAudioIODeviceSampleSink* current = GetSink();
    if (!callbackRunning.load(std::memory_order_acquire) || !current || !current->GetInput() ||
        !output) {
        ZeroOutput(output, frames);
        return eNoErr;
    }
    inputFrames.store(input ? static_cast<uint32_t>(frames) : 0, std::memory_order_relaxed);
    inputBuffer.store(input, std::memory_order_release);
    blockList.frames = static_cast<uint32_t>(frames);
    for (uint32_t i = 0; i < blockList.channels; ++i)
        blockList.bufs[i].data = output + i;
    const KTErr status = current->PullInput(blockList, state);
    inputBuffer.store(nullptr, std::memory_order_release);
    return status;
}

KTErr KCPortAudioAudioIODevice::ReadInput(KCSoundBufList& list, KCStreamState& s) {
    const float* in = s.IsSilent() ? nullptr : inputBuffer.load(std::memory_order_acquire);
    const uint32_t captured = in ? inputFrames.load(std::memory_order_relaxed) : 0;
    const uint32_t inChannels = static_cast<uint32_t>(std::max(streamInputChannels, 0));
    const uint32_t channels = std::min(list.channels, kMaxSoundBufChannels);
    for (uint32_t c = 0; c < channels; ++c) {
        float* data = list.bufs[c].data;
        if (!data)
            continue;
        const int64_t stride = list.bufs[c].stride;
        const uint32_t readable = c < inChannels ? std::min(captured, list.frames) : 0;
        uint32_t f = 0;
        for (; f < readable; ++f)
            data[f * stride] = in[size_t(f) * inChannels + c];
        for (; f < list.frames; ++f)
            data[f * stride] = 0.0f;
    }
    return eNoErr;
}

// ---------------------------------------------------------------------------
// KCPortAudioAudioIODeviceAsio

namespace {

// Copies a channel list into selectors and describes them in `info`; false
// for no list.
bool FillAsioInfo(const KCChannelList* list, std::vector<int>& selectors,
                  KCPaAsioStreamInfo& info) {
    if (!list)
        return false;
    const int32_t count = list->channels ? std::max(list->count, 0) : 0;
    selectors.assign(list->channels, list->channels + count);
    info.size = sizeof(KCPaAsioStreamInfo);
    info.hostApiType = paASIO;
    info.version = KCPortAudioAudioIODeviceAsio::kAsioVersion;
    info.flags = KCPortAudioAudioIODeviceAsio::kUseChannelSelectors;
    info.channelSelectors = selectors.data();
    return true;
}

} // namespace

KTErr KCPortAudioAudioIODeviceAsio::SetHostApiStreamInfo(int32_t input, int32_t output,
                                                         PaStreamParameters* in,
                                                         PaStreamParameters* out) {
    // The records reach PortAudio only for a device of its ASIO host API.
    if (FillAsioInfo(outputChannels, outputSelectors, outputAsioInfo) && out &&
        IsAsioDevice(output))
        out->hostApiSpecificStreamInfo = &outputAsioInfo;
    if (FillAsioInfo(inputChannels, inputSelectors, inputAsioInfo) && in && IsAsioDevice(input))
        in->hostApiSpecificStreamInfo = &inputAsioInfo;
    return eNoErr;
}

// ---------------------------------------------------------------------------
// KCDulmStreamPortAudioIODevice

KCDulmStreamPortAudioIODevice::~KCDulmStreamPortAudioIODevice() {
    KCDulmStreamPortAudioIODevice::CloseStream();
}

KTErr KCDulmStreamPortAudioIODevice::Open(int32_t inputChannelCount, uint32_t frames,
                                          const KCSampleFormat& f, int32_t input, int32_t output,
                                          const KCChannelList* inChannels,
                                          const KCChannelList* outChannels, int32_t mirrorDevice) {
    if (IsOpen())
        return eNoErr;
    KTErr status = KCPortAudioAudioIODevice::Open(inputChannelCount, frames, f, input, output,
                                                  inChannels, outChannels);
    if (status != eNoErr)
        return status;
    if (f.bitsPerSample != 32)
        return eGenericErr;
    // Device 0 is a real device here (the first of ALSA or JACK): only a
    // negative index means "no mirror".
    if (mirrorDevice < 0)
        return eNoErr;
    const PaDeviceInfo* info = DeviceInfo(mirrorDevice);
    PaStreamParameters out =
        StreamParameters(mirrorDevice, f.channels, info ? info->defaultLowOutputLatency : 0.0);
    if (!info || Pa_OpenStream(&mirrorStream, nullptr, &out, f.sampleRate, framesPerBuffer,
                               paDitherOff, nullptr, nullptr) != paNoError) {
        mirrorStream = nullptr;
        open = false;
        return eGenericErr;
    }
    KCPortAudioSession::NoteStreamOpened();
    return eNoErr;
}

KTErr KCDulmStreamPortAudioIODevice::Start() {
    if (mirrorStream && Pa_IsStreamStopped(mirrorStream) == 1 &&
        Pa_StartStream(mirrorStream) != paNoError)
        return eGenericErr;
    return KCPortAudioAudioIODevice::Start();
}

KTErr KCDulmStreamPortAudioIODevice::Stop() {
    KTErr status = KCPortAudioAudioIODevice::Stop();
    if (mirrorStream && Pa_IsStreamStopped(mirrorStream) == 0 &&
        Pa_StopStream(mirrorStream) != paNoError)
        status = eGenericErr;
    return status;
}

KTErr KCDulmStreamPortAudioIODevice::CloseStream() {
    const KTErr status = KCPortAudioAudioIODevice::CloseStream();
    const KTErr mirror = CloseMirror();
    return status != eNoErr ? status : mirror;
}

KTErr KCDulmStreamPortAudioIODevice::CloseMirror() {
    if (!mirrorStream)
        return eNoErr;
    if (Pa_IsStreamStopped(mirrorStream) == 0)
        Pa_AbortStream(mirrorStream);
    const PaError closed = Pa_CloseStream(mirrorStream);
    mirrorStream = nullptr;
    KCPortAudioSession::NoteStreamClosed();
    return closed;
}

KTErr KCDulmStreamPortAudioIODevice::OnStreamCallback(const float* input, float* output,
                                                      unsigned long frames,
                                                      const PaStreamCallbackTimeInfo* timeInfo,
                                                      PaStreamCallbackFlags statusFlags) {
    KTErr status =
        KCPortAudioAudioIODevice::OnStreamCallback(input, output, frames, timeInfo, statusFlags);
    if (!mirrorStream || !output)
        return status;
    // Never waits: only what the mirror stream takes at once is written.
    const signed long available = Pa_GetStreamWriteAvailable(mirrorStream);
    const unsigned long writable =
        available > 0 ? std::min(static_cast<unsigned long>(available), frames) : 0;
    if (writable > 0 && Pa_WriteStream(mirrorStream, output, writable) != paNoError)
        status = eGenericErr;
    if (writable < frames)
        status = eGenericErr;
    return status;
}
