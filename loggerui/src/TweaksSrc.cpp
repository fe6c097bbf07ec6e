#include "loggerui/TweaksSrc.h"

#include "busaccess/busgate/LoggerLock.h"

namespace loggerui {
namespace {

using busgate::BusGate;

constexpr uint16_t kPwmPowerControl = 0xFFA7; // Y
constexpr uint16_t kPwmControl = 0xFFA0;      // Y
constexpr uint16_t kDspControl = 0xFFFF;      // X
constexpr uint16_t kClockControl = 0xFFFB;    // X
constexpr uint16_t kPll = 0xFFFA;             // X
constexpr uint16_t kSrcRatioWord = 0x414;     // Y memory
constexpr uint32_t kFirmwareWithPwm = 0x0704;
constexpr uint32_t kClockKeep = 0xFFC7DF;
constexpr uint32_t kPllLoad = 0x80000;

enum : uint8_t {
    kWriteX = 0xAB,
    kWriteY = 0xAD,
    kWriteMemY = 0xA8,
    kReadX = 0xB5,
    kReadY = 0xB6,
    kReadMemY = 0xB2,
};

constexpr uint16_t kTweaksControl = 0x400; // Y memory
constexpr uint16_t kMainGain = 0x40E;      // Y memory
constexpr uint16_t kSubGain = 0x411;       // Y memory
constexpr uint32_t kUnityGain = 0x7FFFFF;
constexpr uint32_t kLinearVolumeBit = 4;

// Reads go unlogged, writes through the logger's transfer.
std::optional<uint32_t> Read(BusGate& bus, uint8_t command, uint16_t reg) {
    bus.FdkInit(BusGate::Transfer::Raw);
    uint32_t value = 0;
    if (bus.SendCommand(reg, command) != 0 || bus.ReceiveData(value) != 0)
        return std::nullopt;
    return value;
}

void Write(BusGate& bus, uint8_t command, uint16_t reg, uint32_t value) {
    bus.FdkInit(BusGate::Transfer::Logger);
    if (bus.SendCommand(reg, command) == 0)
        bus.SendData(value);
}

struct Clock {
    uint32_t reference;     // during the change
    uint32_t running;       // afterwards
    uint32_t pll;           // PLL value
    uint32_t ratio;         // the code's ratio
    const char* configured; // log line of the PLL step
};

void RunSequence(BusGate& bus, const Clock& clock, bool captureActive) {
    busgate::LoggerLockGuard hold(bus.Lock());
    auto log = [&](const char* text) {
        bus.Log().SetTrafficColor(1);
        bus.Log().Printf("%s", text);
    };
    const bool pwm = static_cast<uint32_t>(bus.State().chipFirmwareVersion) == kFirmwareWithPwm;
    std::optional<uint32_t> pwmPower, pwmControl, dsp;
    if (pwm) {
        log("[TWEAKS.SRC] --> Reset Audio-PWM. \n ");
        pwmPower = Read(bus, kReadY, kPwmPowerControl);
        pwmControl = Read(bus, kReadY, kPwmControl);
        if (pwmControl)
            Write(bus, kWriteY, kPwmControl, *pwmControl & ~1u);
    }
    if (!captureActive) {
        log("[TWEAKS.SRC] --> Pause DSP processing. \n ");
        dsp = Read(bus, kReadX, kDspControl);
        if (dsp)
            Write(bus, kWriteX, kDspControl, *dsp & ~3u);
    }
    log(clock.configured);
    if (const auto d = Read(bus, kReadX, kClockControl)) {
        Write(bus, kWriteX, kClockControl, (*d & kClockKeep) | clock.reference);
        Write(bus, kWriteX, kPll, clock.pll | kPllLoad);
        Write(bus, kWriteX, kPll, clock.pll);
        Write(bus, kWriteX, kClockControl, (*d & kClockKeep) | clock.running);
    }
    bus.Log().SetTrafficColor(1);
    bus.Log().Printf("[TWEAKS.SRC] --> Set Tweaks to x%u sample ratio. \n ", clock.ratio);
    Write(bus, kWriteMemY, kSrcRatioWord, clock.ratio - 1);
    if (pwm) {
        if (pwmControl)
            Write(bus, kWriteY, kPwmControl, *pwmControl);
        if (pwmPower)
            Write(bus, kWriteY, kPwmPowerControl, *pwmPower);
        log("[TWEAKS.SRC] --> Enabled Audio-PWM. \n ");
    }
    if (!captureActive && dsp) {
        Write(bus, kWriteX, kDspControl, *dsp);
        log("[TWEAKS.SRC] --> Resumed DSP processing. \n ");
    }
    bus.FdkInit(BusGate::Transfer::Raw);
}

} // namespace

std::optional<uint32_t> SrcPllValue(uint32_t ratio) {
    switch (ratio) {
    case 1:
        return 39;
    case 2:
        return 19;
    case 4:
        return 9;
    default:
        return std::nullopt;
    }
}

SrcResult ConfigureSrcSequence(BusGate& bus, uint32_t ratio, bool captureActive) {
    const auto pll = SrcPllValue(ratio);
    if (!pll)
        return SrcResult::InvalidRatio;
    RunSequence(bus,
                {0x2000, 0x2820, *pll, ratio,
                 "[TWEAKS.SRC] --> Configure PLL according to SRC ratio and set DCLK as reference "
                 "clock. \n "},
                captureActive);
    return SrcResult::Done;
}

void ResetSrcSequence(BusGate& bus, bool captureActive) {
    RunSequence(bus,
                {0x1000, 0x1820, 9, 1,
                 "[TWEAKS.SRC] --> Configure PLL to x10 and set Crystal as reference clock. \n "},
                captureActive);
}

bool SwitchLinearVolumeOn(BusGate& bus, uint32_t signature) {
    const uint32_t block[] = {kUnityGain, 511, 0xFFFC00, kUnityGain, 511, 0xFFFC00};
    bus.FdkInit(BusGate::Transfer::Logger);
    bus.WriteMemBufferL(block, kMainGain, kWriteMemY, 6);
    const auto control = Read(bus, kReadMemY, kTweaksControl);
    if (control)
        Write(bus, kWriteMemY, kTweaksControl, *control | kLinearVolumeBit);
    bus.FdkInit(BusGate::Transfer::Raw);
    return control && (*control & 0xFFFF00u) == signature;
}

void SwitchLinearVolumeOff(BusGate& bus) {
    Write(bus, kWriteMemY, kMainGain, kUnityGain);
    Write(bus, kWriteMemY, kSubGain, kUnityGain);
    if (const auto control = Read(bus, kReadMemY, kTweaksControl))
        Write(bus, kWriteMemY, kTweaksControl, *control & ~kLinearVolumeBit);
    bus.FdkInit(BusGate::Transfer::Raw);
}

} // namespace loggerui
