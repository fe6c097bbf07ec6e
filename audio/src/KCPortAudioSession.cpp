#include "audio/KCPortAudioSession.h"

#include <portaudio.h>

#include <cstdlib>
#include <mutex>

#include "AudioLibraryMessages.h"
#include "PortAudioSessionInternal.h"

namespace KCPortAudioSession {
namespace {

struct Session {
    std::mutex lock;
    bool active = false;
    bool exitHandlerSet = false;
    int openStreams = 0;
};

Session& TheSession() {
    static Session* session = new Session; // outlives every static destructor
    return *session;
}

void TerminateAtExit() {
    Terminate();
}

bool IsOfferedHostApi(PaHostApiTypeId type) {
    return type == paALSA || type == paJACK;
}

KCAudioDeviceInfo DescribeDevice(PaDeviceIndex index, const PaDeviceInfo& device,
                                 const PaHostApiInfo& api) {
    KCAudioDeviceInfo info;
    info.index = index;
    info.name = device.name ? device.name : "";
    info.hostApi = api.name ? api.name : "";
    info.hostApiType = api.type;
    info.maxInputChannels = device.maxInputChannels;
    info.maxOutputChannels = device.maxOutputChannels;
    info.defaultInput = api.defaultInputDevice == index;
    info.defaultOutput = api.defaultOutputDevice == index;
    info.defaultLowInputLatency = device.defaultLowInputLatency;
    info.defaultLowOutputLatency = device.defaultLowOutputLatency;
    info.defaultSampleRate = device.defaultSampleRate;
    return info;
}

} // namespace

KTErr Acquire() {
    Session& s = TheSession();
    std::lock_guard guard(s.lock);
    if (s.active)
        return eNoErr;
    KCAudioLibraryMessages::Install();
    if (Pa_Initialize() != paNoError)
        return eGenericErr;
    s.active = true;
    if (!s.exitHandlerSet)
        s.exitHandlerSet = std::atexit(TerminateAtExit) == 0;
    return eNoErr;
}

bool IsActive() {
    Session& s = TheSession();
    std::lock_guard guard(s.lock);
    return s.active;
}

KTErr Terminate() {
    Session& s = TheSession();
    std::lock_guard guard(s.lock);
    if (!s.active)
        return eNoErr;
    if (s.openStreams > 0)
        return eGenericErr;
    s.active = false;
    return Pa_Terminate() == paNoError ? eNoErr : eGenericErr;
}

void NoteStreamOpened() {
    Session& s = TheSession();
    std::lock_guard guard(s.lock);
    ++s.openStreams;
}

void NoteStreamClosed() {
    Session& s = TheSession();
    std::lock_guard guard(s.lock);
    if (s.openStreams > 0)
        --s.openStreams;
}

KTErr ListDevices(std::vector<KCAudioDeviceInfo>& out) {
    out.clear();
    if (Acquire() != eNoErr)
        return eGenericErr;
    const PaDeviceIndex count = Pa_GetDeviceCount();
    if (count < 0)
        return eGenericErr;
    for (PaDeviceIndex i = 0; i < count; ++i) {
        const PaDeviceInfo* device = Pa_GetDeviceInfo(i);
        const PaHostApiInfo* api = device ? Pa_GetHostApiInfo(device->hostApi) : nullptr;
        if (api && IsOfferedHostApi(api->type))
            out.push_back(DescribeDevice(i, *device, *api));
    }
    return eNoErr;
}

KTErr GetHostApiDefaults(int32_t hostApiType, int32_t& input, int32_t& output) {
    input = output = -1;
    if (Acquire() != eNoErr)
        return eGenericErr;
    const PaHostApiIndex api =
        Pa_HostApiTypeIdToHostApiIndex(static_cast<PaHostApiTypeId>(hostApiType));
    const PaHostApiInfo* info = api >= 0 ? Pa_GetHostApiInfo(api) : nullptr;
    if (!info)
        return eGenericErr;
    input = info->defaultInputDevice >= 0 ? info->defaultInputDevice : -1;
    output = info->defaultOutputDevice >= 0 ? info->defaultOutputDevice : -1;
    return eNoErr;
}

} // namespace KCPortAudioSession
