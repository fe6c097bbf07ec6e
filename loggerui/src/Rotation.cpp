#include "loggerui/Rotation.h"

#include "busaccess/busgate/BusGate.h"

namespace loggerui {

namespace {

constexpr uint16_t kHwpIndex = 0xFFF4;
constexpr uint16_t kHwpCtl = 0xFFF5;
constexpr uint32_t kInUse = 0x100000;
constexpr uint32_t kIdentifierMask = 0x3FFF;
constexpr uint16_t kIdentifier6 = 2291;
constexpr uint16_t kIdentifier7 = 2305;
constexpr int kMuteMilliseconds = 10;

bool ReadControlWord(busgate::BusGate& bus, uint32_t index, uint32_t& ctl) {
    if (bus.SendCommand(kHwpIndex, 0xAB) == 0)
        bus.SendData(index);
    return bus.ReadRegister(kHwpCtl, ctl) == 0;
}

bool HeldByOther(uint32_t ctl, uint32_t identifier) {
    return (ctl & kInUse) && (ctl & kIdentifierMask) != identifier;
}

} // namespace

RotationCheck CheckRotationResources(busgate::BusGate& bus) {
    const uint32_t type = bus.State().chipTypeCode;
    if (bus.State().ready != 1 || !(type == 0 || type == 1 || type == 2 || type == 4))
        return RotationCheck::NotApplicable;
    uint32_t ctl6 = 0, ctl7 = 0;
    bool read = false;
    {
        busgate::LoggerLockGuard hold(bus.Lock());
        bus.FdkInit(busgate::BusGate::Transfer::Raw);
        read = ReadControlWord(bus, 6, ctl6) && ReadControlWord(bus, 7, ctl7);
    }
    if (!read)
        return RotationCheck::ReadFailed;
    if (HeldByOther(ctl6, kIdentifier6) || HeldByOther(ctl7, kIdentifier7))
        return RotationCheck::Occupied;
    return RotationCheck::Free;
}

bool ApplyRotation(busgate::BusGate& bus, int result) {
    const RotationState* state = nullptr;
    for (const RotationState& s : kRotationStates)
        if (s.result == result)
            state = &s;
    if (!state)
        return false;
    busgate::LoggerLockGuard hold(bus.Lock());
    bus.FdkInit(busgate::BusGate::Transfer::Logger);
    bus.SendCommand(0x0001, 0xC7);
    bus.WaitWithMessagePump(kMuteMilliseconds);
    const bool written = bus.WriteHwPatch(kIdentifier6, 6, state->data6[0], state->data6[1]) == 0 &&
                         bus.WriteHwPatch(kIdentifier7, 7, state->data7[0], state->data7[1]) == 0;
    bus.SendCommand(0x0000, 0xC7);
    bus.Log().SetTrafficColor(1);
    bus.Log().Printf("%s", state->lines[0]);
    bus.Log().Printf("%s", state->lines[1]);
    return written;
}

} // namespace loggerui
