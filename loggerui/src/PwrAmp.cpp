#include "loggerui/PwrAmp.h"

#include "busaccess/busgate/BusGate.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace loggerui {

namespace {

using busgate::BusGate;
using namespace pwmreg;

constexpr uint8_t kReadY = 0xB6;
constexpr uint8_t kWriteY = 0xAD;
constexpr uint32_t kUpscalerOff = 1u << 17;
constexpr uint32_t kBd = 1u << 18;
constexpr uint32_t kTwoOne = 1u << 2;
constexpr uint32_t kAmplifierBit = 0x8;
constexpr uint32_t kSelection2Bits9to11 = 0xE00;

std::optional<uint32_t> ReadY(BusGate& bus, uint16_t reg) {
    bus.FdkInit(BusGate::Transfer::Raw);
    uint32_t v = 0;
    if (bus.SendCommand(reg, kReadY) != 0 || bus.ReceiveData(v) != 0)
        return std::nullopt;
    return v;
}

std::optional<uint32_t> ReadX(BusGate& bus, uint16_t reg) {
    bus.FdkInit(BusGate::Transfer::Raw);
    uint32_t v = 0;
    if (bus.ReadRegister(reg, v) != 0)
        return std::nullopt;
    return v;
}

void WriteY(BusGate& bus, uint16_t reg, uint32_t value) {
    bus.FdkInit(BusGate::Transfer::Logger);
    if (bus.SendCommand(reg, kWriteY) == 0)
        bus.SendData(value);
}

void WriteX(BusGate& bus, uint16_t reg, uint32_t value) {
    bus.FdkInit(BusGate::Transfer::Logger);
    bus.WriteRegister(reg, value);
}

void SoftMute(BusGate& bus, bool on) {
    bus.FdkInit(BusGate::Transfer::Logger);
    bus.SendCommand(on ? 1 : 0, 0xC7);
}

uint32_t With(uint32_t word, uint32_t bits, bool on) {
    return on ? word | bits : word & ~bits;
}

// Reads a Y register and writes back what the change makes of it.
template <typename Change>
void Modify(BusGate& bus, uint16_t reg, Change change) {
    if (bus.State().ready != 1)
        return;
    busgate::LoggerLockGuard hold(bus.Lock());
    if (const std::optional<uint32_t> v = ReadY(bus, reg))
        WriteY(bus, reg, change(*v));
}

void LoadCoefficients(BusGate& bus, float gain) {
    WriteY(bus, kIndex, 0x800);
    for (int32_t word : UpscalerWords(gain))
        WriteY(bus, kData, static_cast<uint32_t>(word) & 0xFFFFFF);
}

} // namespace

std::array<int32_t, 18> UpscalerWords(float gainDb) {
    if (!std::isfinite(gainDb))
        gainDb = 0.0f;
    const float g = std::pow(10.0f, gainDb / 20.0f);
    std::array<int32_t, 18> out{};
    for (size_t i = 0; i < out.size(); ++i) {
        const float x = static_cast<float>(kUpscalerCoefficients[i]) * 0.9f * g;
        double r = x > 0 ? double{x} + 0.5 : double{x} - 0.5;
        if (!std::isfinite(r))
            r = x > 0 ? 8388607.0 : -8388608.0;
        out[i] = static_cast<int32_t>(std::trunc(std::clamp(r, -8388608.0, 8388607.0)));
    }
    return out;
}

float ParseUpscalerGain(std::string_view text) {
    const std::string s(text);
    const float g = std::strtof(s.c_str(), nullptr);
    return std::isfinite(g) ? g : 0.0f;
}

std::string UpscalerGainText(float gain) {
    char text[64];
    std::snprintf(text, sizeof text, "%.5f", double{gain});
    return text;
}

bool TwoOneMode(int outputMode, uint32_t lastSpeakerType) {
    if (outputMode == 0)
        return lastSpeakerType == 1;
    return outputMode == 2;
}

uint32_t PwmControlWord(uint16_t lastSsi, bool upscaler) {
    uint32_t p = (lastSsi & 0x8000) ? 0x413 : 0x13;
    p |= 0x800;
    constexpr uint32_t kBySsi[4] = {0, 0x1000, 0x8000, 0x7000};
    p |= kBySsi[lastSsi & 3];
    if (!upscaler)
        p |= kUpscalerOff;
    return p;
}

uint32_t PowerControlWord(const PwmSettings& s, uint32_t lastSpeakerType) {
    uint32_t f = 0x30 | (1u << 10) | (1u << 14);
    f = With(f, 1u << 0, s.outputs1);
    f = With(f, 1u << 1, s.outputs2);
    f = With(f, kTwoOne, TwoOneMode(s.outputMode, lastSpeakerType));
    f = With(f, 1u << 11, s.swap12);
    f = With(f, 1u << 12, s.swap1AB);
    f = With(f, 1u << 13, s.swap2AB);
    f = With(f, kBd, s.modulation == 1);
    return f;
}

std::string FaultText(uint32_t powerControl) {
    static const char* const kTexts[4] = {
        "FAULTB event status: Over current condition detected.",
        "FAULTB event status: Over temperature condition detected.",
        "FAULTB event status: Under voltage condition detected.", "FAULTB event status: No fault."};
    return kTexts[(powerControl >> 4) & 3];
}

void PwmApplyConfig(BusGate& bus, const PwmSettings& s, uint32_t& selection2) {
    busgate::LoggerLockGuard hold(bus.Lock());
    WriteY(bus, kControl, 0);
    if (!s.module)
        return;
    if (s.upscaler) {
        WriteY(bus, kControl, 1);
        LoadCoefficients(bus, s.gain);
    }
    WriteY(bus, kControl2, 0x200);
    WriteY(bus, kPowerControl, PowerControlWord(s, bus.LastSpeakerType()));
    WriteY(bus, kControl, PwmControlWord(bus.LastSsi(), s.upscaler));
    if (s.amplifier) {
        const uint32_t w = (selection2 & ~kSelection2Bits9to11) | kAmplifierBit;
        WriteX(bus, kSelection2, w);
        selection2 = w | 0x800;
    }
    WriteY(bus, kEventEnable, s.faultEvent ? 2 : 0);
    WriteY(bus, kEventStatus, 0xFFFFFF);
}

void PwmSetModule(BusGate& bus, bool on) {
    Modify(bus, kControl, [on](uint32_t v) { return With(v, 1, on); });
}

void PwmSetPowerBit(BusGate& bus, int bit, bool on) {
    if (bus.State().ready != 1)
        return;
    busgate::LoggerLockGuard hold(bus.Lock());
    const std::optional<uint32_t> v = ReadY(bus, kPowerControl);
    if (!v)
        return;
    SoftMute(bus, true);
    bus.WaitWithMessagePump(100);
    WriteY(bus, kPowerControl, With(*v, 1u << bit, on));
    SoftMute(bus, false);
}

void PwmSetOutputMode(BusGate& bus, int outputMode) {
    const uint32_t speaker = bus.LastSpeakerType();
    Modify(bus, kPowerControl,
           [&](uint32_t v) { return With(v, kTwoOne, TwoOneMode(outputMode, speaker)); });
}

void PwmSetModulation(BusGate& bus, int modulation) {
    Modify(bus, kPowerControl, [&](uint32_t v) { return With(v, kBd, modulation == 1); });
}

void PwmSetFaultEvent(BusGate& bus, bool on) {
    Modify(bus, kEventEnable, [on](uint32_t v) { return With(v, 2, on); });
}

void PwmClearFault(BusGate& bus) {
    if (bus.State().ready != 1)
        return;
    busgate::LoggerLockGuard hold(bus.Lock());
    bus.FdkInit(BusGate::Transfer::Logger);
    uint32_t v = 0;
    if (bus.SendCommand(kPowerControl, kReadY) == 0 && bus.ReceiveData(v) == 0)
        WriteY(bus, kPowerControl, v | 0x30);
    WriteY(bus, kEventStatus, 2);
}

void PwmSetAmplifier(BusGate& bus, bool on, uint32_t& selection2) {
    selection2 = With(selection2, kAmplifierBit, on);
    if (bus.State().ready != 1)
        return;
    busgate::LoggerLockGuard hold(bus.Lock());
    std::optional<uint32_t> c = ReadX(bus, kSelection2);
    if (!c)
        return;
    if (on) {
        const uint32_t first = (*c & ~kSelection2Bits9to11) | kAmplifierBit;
        WriteX(bus, kSelection2, first);
        bus.WaitWithMessagePump(20);
        *c = first | 0x800;
    } else {
        *c &= ~kAmplifierBit;
    }
    WriteX(bus, kSelection2, *c);
    selection2 = *c;
}

void PwmSetUpscaler(BusGate& bus, bool on) {
    Modify(bus, kControl, [on](uint32_t v) { return With(v, kUpscalerOff, !on); });
}

void PwmLoadGain(BusGate& bus, float gain) {
    if (bus.State().ready != 1)
        return;
    busgate::LoggerLockGuard hold(bus.Lock());
    const std::optional<uint32_t> saved = ReadY(bus, kControl);
    if (!saved)
        return;
    WriteY(bus, kControl, 1);
    LoadCoefficients(bus, gain);
    WriteY(bus, kControl, *saved);
}

std::optional<FaultStatus> PollFault(BusGate& bus) {
    if (bus.State().ready != 1)
        return std::nullopt;
    busgate::LoggerLockGuard hold(bus.Lock());
    const std::optional<uint32_t> events = ReadY(bus, kEventStatus);
    const std::optional<uint32_t> power = events ? ReadY(bus, kPowerControl) : std::nullopt;
    if (!power)
        return std::nullopt;
    return FaultStatus{(*events & 2) != 0, FaultText(*power)};
}

} // namespace loggerui
