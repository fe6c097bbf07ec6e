// The process's PortAudio session and the audio devices it offers.
//
// PortAudio is initialised once, on first use (a device listing or the
// first stream), and terminated once at process end, after the last stream
// was closed. Only the ALSA and JACK host APIs are offered.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/KTErr.h"

// One device of PortAudio's ALSA or JACK host API.
struct KCAudioDeviceInfo {
    int32_t index = -1; // PortAudio's device index
    std::string name;
    std::string hostApi;     // the host API's name
    int32_t hostApiType = 0; // PortAudio's host API type id (8 ALSA, 12 JACK)
    int32_t maxInputChannels = 0;
    int32_t maxOutputChannels = 0;
    bool defaultInput = false;  // the host API's default input device
    bool defaultOutput = false; // the host API's default output device
    double defaultLowInputLatency = 0.0;
    double defaultLowOutputLatency = 0.0;
    double defaultSampleRate = 0.0;
};

namespace KCPortAudioSession {

// Initialises PortAudio when it is not yet; eGenericErr when that fails.
// Called on the GUI thread.
KTErr Acquire();
// Whether PortAudio is initialised.
bool IsActive();
// Ends the session when no stream is open; called at process end. -1 while a
// stream is open.
KTErr Terminate();

// The devices of the ALSA and JACK host APIs, in PortAudio's index order.
KTErr ListDevices(std::vector<KCAudioDeviceInfo>& out);
// The default input and output devices of one host API (a PortAudio host
// API type id); -1 each where the host API has none or is not present.
KTErr GetHostApiDefaults(int32_t hostApiType, int32_t& input, int32_t& output);

} // namespace KCPortAudioSession
