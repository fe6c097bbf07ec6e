// The MIDI event record and the device manager: with a table whose PortMidi
// reads and writes are scripted (and, where the hand-shake with the timer
// thread matters, the real PortTime), and once with the real libraries.
#include "audio/KCMidiDeviceManager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

using namespace kvMIDI;

namespace {

TEST(MidiEvent, TypeNamesBothWays) {
    const char* names[] = {
        "Note Off",           "Note On",          "Polyphonic Key Pressure",
        "Control Change",     "Program Change",   "Channel Pressure",
        "Pitch Wheel Change", "System Exclusive", "Universal RealTime System Exclusive"};
    std::string text;
    for (uint32_t t = 1; t <= 9; ++t) {
        EXPECT_EQ(QuorlMidiEvent::MidiEventTypeToString(t, text), names[t - 1]);
        EXPECT_EQ(QuorlMidiEvent::StringToMidiEventType(names[t - 1]), t);
    }
    for (uint32_t t : {0u, 10u, 12u})
        EXPECT_EQ(QuorlMidiEvent::MidiEventTypeToString(t, text), "Unknown");
    EXPECT_EQ(QuorlMidiEvent::StringToMidiEventType("note on"), 0u);
    EXPECT_EQ(QuorlMidiEvent::StringToMidiEventType("Unknown"), 0u);
    EXPECT_EQ(MidiStatusToEventType(0x40), 0u);
    EXPECT_EQ(MidiStatusToEventType(0x93), 2u);
    EXPECT_EQ(MidiStatusToEventType(0xF0), 8u);
}

TEST(MidiEvent, ConstructionAndCopy) {
    QuorlMidiEvent plain;
    EXPECT_EQ(plain.valueA, 0);
    EXPECT_EQ(plain.valueB, 1);
    EXPECT_EQ(plain.GetMidiEventType(), 0u);
    EXPECT_EQ(plain.GetEventDataLength(), 4u);
    const unsigned char bytes[4] = {1, 2, 3, 4};
    QuorlMidiEvent e(5, 600, 4, 7, bytes);
    QuorlMidiEvent copy;
    copy = e;
    EXPECT_EQ(copy.valueA, 5);
    EXPECT_EQ(copy.GetTimeStamp(), 600u);
    EXPECT_EQ(copy.GetMidiEventType(), 4u);
    EXPECT_EQ(copy.valueB, 7);
    EXPECT_EQ(copy.GetEventData()[3], 4);
    QuorlMidiEvent noData(1, 0, 2, 0, nullptr);
    EXPECT_EQ(noData.GetEventData()[1], 0);
}

// ---------------------------------------------------------------------------
// A scripted PortMidi

struct Script {
    std::mutex lock;
    std::deque<int> reads; // a read result: 1 takes the next event
    std::deque<PmEvent> events;
    std::vector<PmEvent> written;
    std::vector<std::vector<unsigned char>> sysex;
    int opens = 0, closes = 0, timerStarts = 0, timerStops = 0;
    PtError timerStartResult = ptNoError;
    bool realTimer = false; // run the real PortTime
};
Script* g_script = nullptr;
int g_streamToken = 0;
PortMidiStream* const kStream = &g_streamToken;

PmError FakeOpenInput(PortMidiStream** s, PmDeviceID, void*, int32_t, PmTimeProcPtr, void*) {
    ++g_script->opens;
    *s = kStream;
    return pmNoError;
}
PmError FakeOpenOutput(PortMidiStream** s, PmDeviceID, void*, int32_t, PmTimeProcPtr, void*,
                       int32_t) {
    ++g_script->opens;
    *s = kStream;
    return pmNoError;
}
PmError FakeClose(PortMidiStream*) {
    ++g_script->closes;
    return pmNoError;
}
PmError FakePoll(PortMidiStream*) {
    std::lock_guard guard(g_script->lock);
    return g_script->reads.empty() ? pmNoData : pmGotData;
}
int FakeRead(PortMidiStream*, PmEvent* out, int32_t) {
    std::lock_guard guard(g_script->lock);
    if (g_script->reads.empty())
        return 0;
    const int result = g_script->reads.front();
    g_script->reads.pop_front();
    if (result == 1) {
        *out = g_script->events.front();
        g_script->events.pop_front();
    }
    return result;
}
PmError FakeWrite(PortMidiStream*, PmEvent* events, int32_t n) {
    g_script->written.insert(g_script->written.end(), events, events + n);
    return pmNoError;
}
PmError FakeWriteSysEx(PortMidiStream*, PmTimestamp, unsigned char* msg) {
    std::vector<unsigned char> bytes;
    for (size_t i = 0; i < 64; ++i) {
        bytes.push_back(msg[i]);
        if (msg[i] == 0xF7)
            break;
    }
    g_script->sysex.push_back(bytes);
    return pmNoError;
}
PtError FakeTimerStart(int resolution, PtCallback* callback, void* user) {
    ++g_script->timerStarts;
    if (g_script->realTimer)
        return Pt_Start(resolution, callback, user);
    return g_script->timerStartResult;
}
PtError FakeTimerStop() {
    ++g_script->timerStops;
    return g_script->realTimer ? Pt_Stop() : ptNoError;
}

KCPortMidiApi ScriptedApi() {
    KCPortMidiApi api = KCPortMidiLibrary();
    api.openInput = &FakeOpenInput;
    api.openOutput = &FakeOpenOutput;
    api.close = &FakeClose;
    api.poll = &FakePoll;
    api.read = &FakeRead;
    api.write = &FakeWrite;
    api.writeSysEx = &FakeWriteSysEx;
    api.timerStart = &FakeTimerStart;
    api.timerStop = &FakeTimerStop;
    return api;
}

struct Received {
    std::mutex lock;
    std::vector<QuorlMidiEvent> events;
};
void Collect(QuorlMidiEvent* e, void* user) {
    auto* r = static_cast<Received*>(user);
    std::lock_guard guard(r->lock);
    r->events.push_back(*e);
}

class MidiManager : public ::testing::Test {
protected:
    void SetUp() override { g_script = &script; }
    void TearDown() override { g_script = nullptr; }
    void Feed(int read, uint8_t status = 0, uint8_t d1 = 0, uint8_t d2 = 0, int stamp = 0) {
        std::lock_guard guard(script.lock);
        script.reads.push_back(read);
        if (read == 1)
            script.events.push_back(PmEvent{Pm_Message(status, d1, d2), stamp});
    }

    Script script;
    KCPortMidiApi api = ScriptedApi();
    Received received;
};

TEST_F(MidiManager, PollTurnsChannelMessagesIntoEvents) {
    KCMidiDeviceManager manager(api);
    manager.SetCallback(&Collect, &received);
    EXPECT_EQ(manager.Poll(), eMemNullPointer); // nothing open yet
    manager.SetInputDevice(3);
    ASSERT_EQ(manager.Open(), 0);
    EXPECT_TRUE(manager.IsRunning());

    Feed(1, 0x93, 0x40, 0x7F, 1234);
    Feed(1, 0x40, 0x41, 0x00); // a running-status data byte: skipped
    Feed(pmBufferOverflow);    // skipped
    Feed(1, 0xB5, 7, 100);
    EXPECT_EQ(manager.Poll(), eNoErr);
    ASSERT_EQ(received.events.size(), 2u);
    const QuorlMidiEvent& on = received.events[0];
    EXPECT_EQ(on.GetMidiEventType(), 2u);
    EXPECT_EQ(on.valueA, 1);
    EXPECT_EQ(on.valueB, 0);
    EXPECT_EQ(on.GetTimeStamp(), 1234u);
    EXPECT_EQ(std::vector<int>(on.data, on.data + 4), (std::vector<int>{0, 0x40, 0x7F, 0}));
    EXPECT_EQ(received.events[1].GetMidiEventType(), 4u);

    // A read that yields nothing, or fails, ends the round: no callback.
    Feed(0);
    Feed(pmHostError);
    Feed(1, 0x90, 1, 2);
    EXPECT_EQ(manager.Poll(), eNoErr);
    EXPECT_EQ(manager.Poll(), eNoErr);
    EXPECT_EQ(received.events.size(), 2u);
    EXPECT_EQ(manager.Poll(), eNoErr);
    EXPECT_EQ(received.events.size(), 3u);
    EXPECT_FALSE(manager.IsStopped());
    EXPECT_EQ(manager.StopPolling(), 0);
}

TEST_F(MidiManager, SendWritesOneMessagePerEvent) {
    KCMidiDeviceManager manager(api);
    const unsigned char control[4] = {9, 7, 100, 9};
    QuorlMidiEvent change(0, 0, 4, 0, control);
    EXPECT_EQ(manager.Send(change), eGenericErr); // no output stream
    manager.SetOutputDevice(1);
    ASSERT_EQ(manager.Open(), 0);

    ASSERT_EQ(manager.Send(change), eNoErr);
    ASSERT_EQ(script.written.size(), 1u);
    EXPECT_EQ(Pm_MessageStatus(script.written[0].message), 0xB0);
    EXPECT_EQ(Pm_MessageData1(script.written[0].message), 0x07);
    EXPECT_EQ(Pm_MessageData2(script.written[0].message), 0x64);

    const uint8_t statusByType[] = {0x80, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0};
    script.written.clear();
    for (uint32_t t = 1; t <= 7; ++t) {
        QuorlMidiEvent e(0, 0, t, 0, control);
        EXPECT_EQ(manager.Send(e), eNoErr);
    }
    ASSERT_EQ(script.written.size(), 7u);
    for (size_t i = 0; i < 7; ++i)
        EXPECT_EQ(Pm_MessageStatus(script.written[i].message), statusByType[i]);

    // Types 0 and above 9 send nothing.
    for (uint32_t t : {0u, 10u, 200u}) {
        QuorlMidiEvent e(0, 0, t, 0, control);
        EXPECT_EQ(manager.Send(e), eNoErr);
    }
    EXPECT_EQ(script.written.size(), 7u);

    // System exclusive: the data bytes, ended by 0xF7 when they have none.
    const unsigned char sysex[4] = {0xF0, 1, 2, 3};
    const unsigned char ended[4] = {0xF0, 5, 0xF7, 0};
    QuorlMidiEvent open(0, 0, 8, 0, sysex), closed(0, 0, 9, 0, ended);
    EXPECT_EQ(manager.Send(open), eNoErr);
    EXPECT_EQ(manager.Send(closed), eNoErr);
    ASSERT_EQ(script.sysex.size(), 2u);
    EXPECT_EQ(script.sysex[0], (std::vector<unsigned char>{0xF0, 1, 2, 3, 0xF7}));
    EXPECT_EQ(script.sysex[1], (std::vector<unsigned char>{0xF0, 5, 0xF7}));
    EXPECT_EQ(manager.StopPolling(), 0);
}

TEST_F(MidiManager, CloseWithoutATimerReturnsAtOnce) {
    KCMidiDeviceManager never(api);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(never.Close(), 0);
    EXPECT_EQ(script.timerStops, 0);

    // A timer that failed to start leaves the manager not running.
    script.timerStartResult = ptHostError;
    KCMidiDeviceManager failed(api);
    failed.SetInputDevice(0);
    EXPECT_EQ(failed.Open(), 0);
    EXPECT_FALSE(failed.IsRunning());
    EXPECT_EQ(failed.StartPolling(), eGenericErr);
    EXPECT_EQ(failed.Close(), 0);
    EXPECT_EQ(script.timerStops, 0);
    EXPECT_EQ(failed.GetInputStream(), nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
}

TEST_F(MidiManager, CloseStopsATimerThatNeverAcknowledges) {
    KCMidiDeviceManager manager(api);
    manager.SetInputDevice(0);
    manager.Open(); // the scripted timer never calls back
    ASSERT_TRUE(manager.IsRunning());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(manager.Close(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(script.timerStops, 1);
    EXPECT_FALSE(manager.IsRunning());
    EXPECT_EQ(script.closes, 1);
}

TEST_F(MidiManager, EventsArriveOnTheTimerThreadUntilClose) {
    script.realTimer = true;
    KCMidiDeviceManager manager(api);
    manager.SetCallback(&Collect, &received);
    manager.SetInputDevice(0);
    manager.SetOutputDevice(1);
    ASSERT_EQ(manager.Open(), 0);
    ASSERT_TRUE(manager.IsRunning());
    Feed(1, 0x80, 60, 0);
    Feed(1, 0xE0, 0, 64);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        {
            std::lock_guard guard(received.lock);
            if (received.events.size() == 2 || std::chrono::steady_clock::now() > deadline)
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_EQ(received.events.size(), 2u);
    EXPECT_EQ(received.events[0].GetMidiEventType(), 1u);
    EXPECT_EQ(received.events[1].GetMidiEventType(), 7u);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(manager.Close(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
    EXPECT_TRUE(manager.IsStopped());
    EXPECT_EQ(manager.GetInputStream(), nullptr);
    EXPECT_EQ(manager.GetOutputStream(), nullptr);
    EXPECT_EQ(script.closes, 2);
}

TEST(MidiLibrary, RealPortMidiAndPortTime) {
    KCMidiDeviceManager manager;
    EXPECT_EQ(manager.Initialize(), 0);
    MidiDeviceList outputs, inputs;
    MidiDefaults defaults{5, 5};
    ASSERT_EQ(manager.ListDevices(outputs, defaults, inputs), 0);
    const int count = Pm_CountDevices();
    EXPECT_LE(outputs.size() + inputs.size(), size_t(count));
    for (const auto& [index, device] : inputs)
        EXPECT_EQ(device.id, index);

    manager.SetInputDevice(count + 5); // no such device
    EXPECT_EQ(manager.Open(), pmInvalidDeviceId);
    EXPECT_TRUE(manager.IsRunning());
    EXPECT_EQ(manager.GetInputStream(), nullptr);
    EXPECT_EQ(manager.Close(), 0);
    EXPECT_FALSE(manager.IsRunning());
    EXPECT_EQ(manager.Terminate(), 0);
}

} // namespace
