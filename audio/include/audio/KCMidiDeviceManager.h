// A small MIDI device manager over PortMidi and PortTime: lists devices,
// opens one input and one output, polls the input every millisecond on
// PortTime's timer thread (handing each channel message to a callback) and
// sends events out.
//
// PortMidi and PortTime are reached through a table of their functions, the
// real libraries by default.
#pragma once

#include <portmidi.h>
#include <porttime.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "audio/QuorlMidiEvent.h"
#include "foundation/KTErr.h"

namespace kvMIDI {

// The PortMidi and PortTime functions the manager uses.
struct KCPortMidiApi {
    PmError (*initialize)();
    PmError (*terminate)();
    int (*countDevices)();
    const PmDeviceInfo* (*getDeviceInfo)(PmDeviceID id);
    PmDeviceID (*getDefaultInputDeviceID)();
    PmDeviceID (*getDefaultOutputDeviceID)();
    PmError (*openInput)(PortMidiStream** stream, PmDeviceID device, void* driverInfo,
                         int32_t bufferSize, PmTimeProcPtr timeProc, void* timeInfo);
    PmError (*openOutput)(PortMidiStream** stream, PmDeviceID device, void* driverInfo,
                          int32_t bufferSize, PmTimeProcPtr timeProc, void* timeInfo,
                          int32_t latency);
    PmError (*close)(PortMidiStream* stream);
    PmError (*poll)(PortMidiStream* stream);
    int (*read)(PortMidiStream* stream, PmEvent* buffer, int32_t length);
    PmError (*write)(PortMidiStream* stream, PmEvent* buffer, int32_t length);
    PmError (*writeSysEx)(PortMidiStream* stream, PmTimestamp when, unsigned char* message);
    PtError (*timerStart)(int resolution, PtCallback* callback, void* userData);
    PtError (*timerStop)();
};

// The real PortMidi and PortTime.
const KCPortMidiApi& KCPortMidiLibrary();

struct MidiDeviceName {
    std::string name;
    int32_t id = -1;
};
// Device index -> name and id.
using MidiDeviceList = std::map<int32_t, MidiDeviceName>;
// {default input id, default output id}.
using MidiDefaults = std::pair<int32_t, int32_t>;

using MidiEventCallback = void (*)(QuorlMidiEvent* event, void* userData);

class KCMidiDeviceManager {
public:
    static constexpr int32_t kInputBufferEvents = 256;
    static constexpr int kPollPeriodMs = 1;
    // How long Close waits for the timer thread to see the stop request.
    static constexpr int kStopWaitMs = 500;

    explicit KCMidiDeviceManager(const KCPortMidiApi& api = KCPortMidiLibrary());
    ~KCMidiDeviceManager();
    KCMidiDeviceManager(const KCMidiDeviceManager&) = delete;
    KCMidiDeviceManager& operator=(const KCMidiDeviceManager&) = delete;

    void SetCallback(MidiEventCallback callback, void* userData);
    // Initialises PortMidi once per process; -1 when that fails.
    KTErr Initialize();
    // Devices with an input go into `inputs`, others with an output into
    // `outputs`; -1 when anything throws.
    KTErr ListDevices(MidiDeviceList& outputs, MidiDefaults& defaults, MidiDeviceList& inputs);
    // Restarts the timer and opens the chosen devices; the status of the
    // last open (0 when no device is chosen).
    KTErr Open();
    KTErr StartPolling();
    KTErr StopPolling();
    // Stops polling (waiting a bounded time for the timer thread) and closes
    // both streams.
    KTErr Close();
    // Close, then ends PortMidi when it was initialised.
    KTErr Terminate();
    // Sends one event on the output stream: channel messages for types 1 to
    // 7, the data bytes as a system-exclusive message for 8 and 9, nothing
    // for other types. -1 without an output stream, on a failed write or
    // when anything throws.
    KTErr Send(QuorlMidiEvent& event);

    // The timer's callback; `userData` is the manager.
    static void PollCallback(PtTimestamp timestamp, void* userData);
    // One poll round: hands every received channel message to the callback.
    KTErr Poll();

    void SetInputDevice(int32_t id) { inputDevice = id; }
    void SetOutputDevice(int32_t id) { outputDevice = id; }
    int32_t GetInputDevice() const { return inputDevice; }
    int32_t GetOutputDevice() const { return outputDevice; }
    PortMidiStream* GetInputStream() const { return inputStream.load(); }
    PortMidiStream* GetOutputStream() const { return outputStream.load(); }
    bool IsRunning() const { return running.load(); }
    bool IsStopped() const { return stopped.load(); }

private:
    KTErr StartTimer();
    void CloseStreams();
    KTErr SendSysEx(QuorlMidiEvent& event);

    const KCPortMidiApi* api;
    int32_t inputDevice = -1;
    int32_t outputDevice = -1;
    std::atomic<PortMidiStream*> inputStream{nullptr};
    std::atomic<PortMidiStream*> outputStream{nullptr};
    std::atomic<bool> running{false};
    std::atomic<bool> stopped{false};
    std::atomic<bool> stopRequest{false};
    MidiEventCallback callback = nullptr;
    void* userData = nullptr;
};

} // namespace kvMIDI
