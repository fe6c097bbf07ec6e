// Starts the audio library as the program does (PortAudio with its ALSA
// and JACK host APIs), then opens an output device that does not
// exist and prints what the device says of the failure.
#include "audio/KCAudioIODevice.h"
#include "audio/KCPortAudioSession.h"

#include <cstdio>
#include <vector>

int main() {
    std::vector<KCAudioDeviceInfo> devices;
    if (KCPortAudioSession::ListDevices(devices) != eNoErr)
        return 2;
    KCPortAudioAudioIODeviceAsio device;
    if (device.Open(2, 256, KCSampleFormat{2, 44100, 32}, -1, 9999, nullptr, nullptr) == eNoErr)
        return 3;
    std::printf("%s\n", device.GetOpenError().c_str());
    return 0;
}
