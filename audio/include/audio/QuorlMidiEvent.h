// The framework's MIDI event record: what the plug-in interface hands to a
// plug-in's MIDI entry point and what the MIDI device manager delivers. Its
// layout is part of the plug-in interface. Header-only, so that every module
// that passes events uses the same inline definition.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace kvMIDI {

enum MidiEventType : uint32_t {
    kMidiNone = 0,
    kMidiNoteOff = 1,
    kMidiNoteOn = 2,
    kMidiPolyphonicKeyPressure = 3,
    kMidiControlChange = 4,
    kMidiProgramChange = 5,
    kMidiChannelPressure = 6,
    kMidiPitchWheelChange = 7,
    kMidiSystemExclusive = 8,
    kMidiUniversalRealTimeSystemExclusive = 9,
};

// The event type of a status byte: 0 for a byte without the top bit, else
// (status >> 4) - 7.
inline uint32_t MidiStatusToEventType(uint8_t status) {
    return (status & 0x80) ? uint32_t(status >> 4) - 7u : 0u;
}

class QuorlMidiEvent {
public:
    static constexpr uint32_t kDataLength = 4;

    QuorlMidiEvent() = default;
    QuorlMidiEvent(long a, unsigned long stamp, unsigned long eventType, long b,
                   const unsigned char* bytes)
        : valueA(int32_t(a)), timeStamp(uint32_t(stamp)), type(uint32_t(eventType)),
          valueB(int32_t(b)) {
        if (bytes)
            std::memcpy(data, bytes, kDataLength);
    }
    QuorlMidiEvent(const QuorlMidiEvent&) = default;
    QuorlMidiEvent& operator=(const QuorlMidiEvent&) = default;
    virtual ~QuorlMidiEvent() {}

    virtual unsigned char* GetEventData() { return data; }
    virtual uint32_t GetEventDataLength() { return kDataLength; }

    uint32_t GetTimeStamp() const { return timeStamp; }
    uint32_t GetMidiEventType() const { return type; }
    int32_t GetValueA() const { return valueA; }
    int32_t GetValueB() const { return valueB; }
    const unsigned char* GetData() const { return data; }

    // The type's name, "Unknown" for any other value; returns `out`.
    static std::string& MidiEventTypeToString(uint32_t eventType, std::string& out) {
        out = eventType >= 1 && eventType < kTypeCount ? kTypeNames[eventType] : "Unknown";
        return out;
    }
    // The type whose name is exactly `text`; 0 when none is.
    static uint32_t StringToMidiEventType(const std::string& text) {
        for (uint32_t t = 1; t < kTypeCount; ++t)
            if (text == kTypeNames[t])
                return t;
        return kMidiNone;
    }

    int32_t valueA = 0;
    uint32_t timeStamp = 0;
    uint32_t type = kMidiNone;
    int32_t valueB = 1;
    unsigned char data[kDataLength] = {};

private:
    static constexpr uint32_t kTypeCount = 10;
    static constexpr const char* kTypeNames[kTypeCount] = {
        "Unknown",          "Note Off",
        "Note On",          "Polyphonic Key Pressure",
        "Control Change",   "Program Change",
        "Channel Pressure", "Pitch Wheel Change",
        "System Exclusive", "Universal RealTime System Exclusive",
    };
};

// The record's layout: the object's table pointer, then the five fields.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(offsetof(QuorlMidiEvent, valueA) == sizeof(void*));
static_assert(offsetof(QuorlMidiEvent, timeStamp) == sizeof(void*) + 4);
static_assert(offsetof(QuorlMidiEvent, type) == sizeof(void*) + 8);
static_assert(offsetof(QuorlMidiEvent, valueB) == sizeof(void*) + 12);
static_assert(offsetof(QuorlMidiEvent, data) == sizeof(void*) + 16);
#pragma GCC diagnostic pop
static_assert(sizeof(QuorlMidiEvent) == sizeof(void*) + 24);

} // namespace kvMIDI
