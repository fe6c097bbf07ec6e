#include "audio/KCMidiDeviceManager.h"

#include "AudioLibraryMessages.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

namespace kvMIDI {
namespace {

// PortMidi's answer to a read after its input buffer overflowed.
constexpr int kReadOverflow = pmBufferOverflow;
constexpr uint8_t kSysExEnd = 0xF7;

std::atomic<bool> gPortMidiInitialised{false};

// Status bytes of the channel messages, by event type (channel 1).
constexpr uint8_t kStatusByType[] = {0, 0x80, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0};

} // namespace

const KCPortMidiApi& KCPortMidiLibrary() {
    static const KCPortMidiApi library = {
        &Pm_Initialize,
        &Pm_Terminate,
        &Pm_CountDevices,
        &Pm_GetDeviceInfo,
        &Pm_GetDefaultInputDeviceID,
        &Pm_GetDefaultOutputDeviceID,
        &Pm_OpenInput,
        &Pm_OpenOutput,
        &Pm_Close,
        &Pm_Poll,
        &Pm_Read,
        &Pm_Write,
        &Pm_WriteSysEx,
        &Pt_Start,
        &Pt_Stop,
    };
    return library;
}

KCMidiDeviceManager::KCMidiDeviceManager(const KCPortMidiApi& portMidi) : api(&portMidi) {}

KCMidiDeviceManager::~KCMidiDeviceManager() {
    Close();
}

void KCMidiDeviceManager::SetCallback(MidiEventCallback cb, void* data) {
    callback = cb;
    userData = data;
}

KTErr KCMidiDeviceManager::Initialize() {
    if (gPortMidiInitialised.exchange(true))
        return eNoErr;
    KCAudioLibraryMessages::Install();
    if (api->initialize() == pmNoError)
        return eNoErr;
    gPortMidiInitialised = false;
    return eGenericErr;
}

KTErr KCMidiDeviceManager::ListDevices(MidiDeviceList& outputs, MidiDefaults& defaults,
                                       MidiDeviceList& inputs) {
    try {
        defaults = {-1, -1};
        defaults = {api->getDefaultInputDeviceID(), api->getDefaultOutputDeviceID()};
        const int count = api->countDevices();
        for (int i = 0; i < count; ++i) {
            const PmDeviceInfo* info = api->getDeviceInfo(i);
            if (!info)
                continue;
            MidiDeviceName entry{info->name ? info->name : "", i};
            if (info->input)
                inputs[i] = entry;
            else if (info->output)
                outputs[i] = entry;
        }
        return eNoErr;
    } catch (...) {
        return eGenericErr;
    }
}

KTErr KCMidiDeviceManager::StartTimer() {
    stopRequest = false;
    stopped = false;
    if (api->timerStart(kPollPeriodMs, &KCMidiDeviceManager::PollCallback, this) != ptNoError)
        return eGenericErr;
    running = true;
    return eNoErr;
}

void KCMidiDeviceManager::CloseStreams() {
    if (PortMidiStream* s = inputStream.exchange(nullptr))
        api->close(s);
    if (PortMidiStream* s = outputStream.exchange(nullptr))
        api->close(s);
}

KTErr KCMidiDeviceManager::Open() {
    if (running)
        api->timerStop();
    running = false;
    CloseStreams();
    // PortMidi's default time base is PortTime: the timer runs before the
    // streams are opened.
    StartTimer();
    KTErr status = eNoErr;
    if (inputDevice != -1) {
        PortMidiStream* s = nullptr;
        status = api->openInput(&s, inputDevice, nullptr, kInputBufferEvents, nullptr, nullptr);
        inputStream = status == pmNoError ? s : nullptr;
    }
    if (outputDevice != -1) {
        PortMidiStream* s = nullptr;
        status =
            api->openOutput(&s, outputDevice, nullptr, kInputBufferEvents, nullptr, nullptr, 0);
        outputStream = status == pmNoError ? s : nullptr;
    }
    return status;
}

KTErr KCMidiDeviceManager::StartPolling() {
    return StartTimer();
}

KTErr KCMidiDeviceManager::StopPolling() {
    KTErr status = eNoErr;
    if (running && api->timerStop() != ptNoError)
        status = eGenericErr;
    running = false;
    return status;
}

KTErr KCMidiDeviceManager::Close() {
    if (running) {
        stopRequest = true;
        // The timer thread acknowledges within a period; a thread that never
        // does is stopped regardless.
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopWaitMs);
        while (!stopped && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        api->timerStop();
        running = false;
    }
    CloseStreams();
    return eNoErr;
}

KTErr KCMidiDeviceManager::Terminate() {
    Close();
    if (gPortMidiInitialised.exchange(false))
        api->terminate();
    return eNoErr;
}

void KCMidiDeviceManager::PollCallback(PtTimestamp, void* data) {
    static_cast<KCMidiDeviceManager*>(data)->Poll();
}

KTErr KCMidiDeviceManager::Poll() {
    if (stopRequest)
        stopped = true;
    PortMidiStream* in = inputStream.load();
    if (!in)
        return eMemNullPointer;
    while (!stopRequest) {
        if (api->poll(in) != pmGotData)
            return eNoErr;
        PmEvent event{};
        const int read = api->read(in, &event, 1);
        if (read == kReadOverflow)
            continue;
        if (read != 1)
            return eNoErr; // nothing read: the round ends
        const uint8_t status = uint8_t(Pm_MessageStatus(event.message));
        if (!(status & 0x80))
            continue; // a running-status data byte
        const unsigned char bytes[QuorlMidiEvent::kDataLength] = {
            0, uint8_t(Pm_MessageData1(event.message)), uint8_t(Pm_MessageData2(event.message)), 0};
        QuorlMidiEvent received(1, uint32_t(event.timestamp), MidiStatusToEventType(status), 0,
                                bytes);
        if (callback)
            callback(&received, userData);
    }
    stopped = true;
    return eNoErr;
}

KTErr KCMidiDeviceManager::SendSysEx(QuorlMidiEvent& event) {
    const uint32_t length = event.GetEventDataLength();
    if (length == 0)
        return eNoErr;
    // PortMidi reads a system-exclusive message up to its end byte: one is
    // added when the event's bytes have none.
    const unsigned char* bytes = event.GetEventData();
    std::vector<unsigned char> message(bytes, bytes + length);
    if (std::find(message.begin(), message.end(), kSysExEnd) == message.end())
        message.push_back(kSysExEnd);
    return api->writeSysEx(outputStream.load(), 0, message.data()) == pmNoError ? eNoErr
                                                                                : eGenericErr;
}

KTErr KCMidiDeviceManager::Send(QuorlMidiEvent& event) {
    try {
        const uint32_t type = event.GetMidiEventType();
        if (type == kMidiNone || type > kMidiUniversalRealTimeSystemExclusive)
            return eNoErr;
        if (!outputStream.load())
            return eGenericErr;
        if (type >= kMidiSystemExclusive)
            return SendSysEx(event);
        const unsigned char* data = event.GetEventData();
        PmEvent message{};
        message.message = Pm_Message(kStatusByType[type], data[1], data[2]);
        message.timestamp = 0;
        return api->write(outputStream.load(), &message, 1) == pmNoError ? eNoErr : eGenericErr;
    } catch (...) {
        return eGenericErr;
    }
}

} // namespace kvMIDI
