#include "loggerui/TweaksService.h"

#include "busaccess/busgate/LoggerLock.h"
#include "loggerui/TweaksSrc.h"

#include <chrono>
#include <cmath>

namespace loggerui {

namespace {

using busgate::BusGate;
using busgate::LoggerLockGuard;

enum : uint8_t {
    kWriteX = 0xAB,
    kReadX = 0xB5,
    kWriteMemY = 0xA8,
    kReadMemY = 0xB2,
    kWriteMemP = 0xA6,
};

constexpr uint16_t kDspControl = 0xFFFF; // X: bits 0-1 clear pause the DSP
constexpr uint16_t kHookWord = 0x000F;   // program memory
constexpr uint16_t kControl = 0x400;     // Y memory, and the block below
constexpr uint16_t kToneControl1 = 0x401, kToneControl2 = 0x402;
constexpr uint16_t kTonePointers = 0x403;
constexpr uint16_t kPeaks = 0x409;
constexpr uint16_t kMainGain = 0x40E, kMainCheck = 0x40F;
constexpr uint16_t kSubGain = 0x411, kSubCheck = 0x412;
constexpr uint16_t kSrcRatioWord = 0x414;
constexpr uint16_t kLeftTable = 0x500, kRightTable = 0x680;
constexpr uint32_t kToneBit = 1, kMeterBit = 2;
constexpr uint32_t kSignatureMask = 0xFFFF00;
constexpr int kLogDefault = 1, kLogGreen = 2, kLogRed = 3;

void Sleep(BusGate& bus, int ms) {
    bus.Time().SleepFor(std::chrono::milliseconds(ms));
}

} // namespace

TweaksService::TweaksService(BusGate& bus, std::string imageFolder)
    : bus_(bus), folder_(std::move(imageFolder)) {
    RebuildLeft();
    RebuildRight();
    ResetMeters();
    published_ = state_;
}

TweaksState TweaksService::Snapshot() const {
    std::lock_guard lock(publishedMutex_);
    return published_;
}

void TweaksService::Publish() {
    {
        std::lock_guard lock(publishedMutex_);
        published_ = state_;
    }
    if (changed_)
        changed_();
}

void TweaksService::Arm(int timer, int ms) {
    if (timer_)
        timer_(timer, ms);
}

bool TweaksService::Ready() const {
    return bus_.State().ready == 1;
}

void TweaksService::Log(int colour, const char* text) {
    bus_.Log().SetTrafficColor(colour);
    bus_.Log().Printf("%s", text);
}

// A register or memory word read with the chip's read command `command`;
// empty when the command or the answer failed.
std::optional<uint32_t> TweaksService::ReadWord(uint16_t address, uint8_t command) {
    uint32_t value = 0;
    if (bus_.SendCommand(address, command) != 0 || bus_.ReceiveData(value) != 0)
        return std::nullopt;
    return value;
}

// A word written with the write command `command` (the data only after the
// command went through).
void TweaksService::WriteWord(uint16_t address, uint8_t command, uint32_t value) {
    if (bus_.SendCommand(address, command) == 0)
        bus_.SendData(value);
}

std::optional<uint32_t> TweaksService::ReadX(uint16_t reg) {
    return ReadWord(reg, kReadX);
}

void TweaksService::WriteX(uint16_t reg, uint32_t value) {
    WriteWord(reg, kWriteX, value);
}

std::optional<uint32_t> TweaksService::ReadMemY(uint16_t address) {
    return ReadWord(address, kReadMemY);
}

void TweaksService::WriteMemY(uint16_t address, uint32_t value) {
    WriteWord(address, kWriteMemY, value);
}

// ---- the code

bool TweaksService::EnableTweaks(bool enable) {
    LoggerLockGuard hold(bus_.Lock());
    bool result = false;
    if (enable) {
        Log(kLogDefault, "[TWEAKS] --> Load and enable Tweaks \n ");
        result = Load();
        if (result) {
            state_.buttonEnabled = true;
            state_.button = "Disable Tweaks";
            Arm(kReadyTimer, 1000);
        }
    } else {
        Log(kLogDefault, "[TWEAKS] --> Disable Tweaks \n ");
        Unload();
        state_.buttonEnabled = true;
        state_.button = "Enable Tweaks";
        ResetMeters();
        Arm(kMeterTimer, -1);
        Arm(kReadyTimer, -1);
    }
    Publish();
    return result;
}

bool TweaksService::Load() {
    state_.enabled = state_.toneOn = state_.metersOn = false;
    state_.linearActive = state_.linearTested = state_.srcConfigured = false;
    if (!Ready())
        return false;
    bus_.FdkInit(BusGate::Transfer::Raw);
    const auto firmware = static_cast<uint16_t>(bus_.State().chipFirmwareVersion);
    bool result = false;
    if (!TweaksImageFor(firmware)) {
        bus_.Messages().showError(kNoTweaksCode, "Tweaks");
    } else if (const auto image = LoadTweaksImage(firmware, folder_)) {
        // The SRC needs the code of the newer firmware.
        state_.srcControls = firmware == 0x0704;
        result = LoadImage(*image);
    } else {
        // The image file is missing or malformed (the trace names it):
        // there is no code to load for this firmware.
        bus_.Messages().showError(kNoTweaksCode, "Tweaks");
    }
    state_.enabled = result;
    return result;
}

bool TweaksService::LoadImage(const TweaksImage& image) {
    // The DSP pauses while its code changes; without the pause word read
    // nothing is loaded.
    const auto pause = ReadX(kDspControl);
    if (!pause)
        return false;
    WriteX(kDspControl, *pause & ~3u);
    WriteMemY(kControl, 0);
    if (image.firmware == 0x0704)
        WriteMemY(kSrcRatioWord, 0);
    bus_.WriteMemBuffer(kWriteMemP, image.loadAddress, image.code.data(),
                        static_cast<uint16_t>(image.code.size()));
    const uint32_t hook = image.loadAddress;
    if (image.firmware == 0x0606) {
        bus_.WriteMemBuffer(kWriteMemP, kHookWord, &hook, 1);
    } else if (bus_.SendCommand(kHookWord, kWriteMemP) == 0) {
        bus_.SendData(hook);
    }
    WriteX(kDspControl, *pause);
    signature_ = image.signature;
    hookSaved_ = image.firmwareHook;
    return true;
}

void TweaksService::Unload() {
    bus_.FdkInit(BusGate::Transfer::Raw);
    ToneStop();
    state_.linearActive = state_.linearTested = false;
    if (state_.enabled)
        LinearOff();
    state_.metersOn = false;
    if (state_.enabled)
        MetersDisable();
    ResetSrc();
    state_.enabled = false;
    if (Ready() && hookSaved_ != 0) {
        // The older firmware keeps the code's hook.
        if (bus_.State().chipFirmwareVersion >= 0x0704 &&
            bus_.SendCommand(kHookWord, kWriteMemP) == 0)
            bus_.SendData(hookSaved_);
        hookSaved_ = 0;
    }
}

bool TweaksService::CheckRunning() {
    LoggerLockGuard hold(bus_.Lock());
    // Only once a setup sequence was captured. The decoder appends each
    // group before it acts on it, so at Setup Completed the capture is
    // still filling: both that state and the completed one count.
    const uint32_t capture = bus_.Capture().state;
    if (!state_.enabled || !Ready() ||
        (capture != busgate::CaptureBuffer::Completed &&
         capture != busgate::CaptureBuffer::Capturing))
        return false;
    bus_.FdkInit(BusGate::Transfer::Raw);
    RebuildLeft();
    RebuildRight();
    SetToneBox(state_.toneBox);
    SetLinearBox(state_.linearBox);
    SetLevelBox(state_.levelBox);
    bus_.FdkInit(BusGate::Transfer::Raw);
    const auto control = ReadMemY(kControl);
    const bool running = control && (*control & kSignatureMask) == signature_;
    Log(running ? kLogGreen : kLogRed,
        running ? "[TWEAKS] --> Tweaks is running. \n "
                : "[TWEAKS] --> Tweaks is not running. Verify I2S/SSI is working. \n ");
    Publish();
    return running;
}

void TweaksService::SetButton(std::string text, bool enabled) {
    LoggerLockGuard hold(bus_.Lock());
    state_.button = std::move(text);
    state_.buttonEnabled = enabled;
    Publish();
}

void TweaksService::ToggleTweaks() {
    EnableTweaks(!state_.enabled);
    CheckRunning();
}

int TweaksService::ReadyTimer() {
    if (bus_.Lock().HeldByThisThread() || !bus_.Lock().TryLock())
        return 1;
    const bool gone = !Ready();
    if (gone)
        EnableTweaks(false);
    bus_.Lock().Unlock();
    return gone ? -1 : 1000;
}

// ---- sample-rate converter

void TweaksService::SetSrcRatio(uint32_t ratio) {
    LoggerLockGuard hold(bus_.Lock());
    state_.srcRatio = ratio;
    Publish();
}

void TweaksService::ConfigureSrc() {
    LoggerLockGuard hold(bus_.Lock());
    if (!Ready() || !state_.enabled)
        return;
    const bool capturing = bus_.Capture().state == busgate::CaptureBuffer::CapturingEmpty;
    if (ConfigureSrcSequence(bus_, state_.srcRatio, capturing) == SrcResult::InvalidRatio) {
        bus_.Messages().showInformation("Invalid SRC ratio.", "SRC");
        return;
    }
    state_.srcConfigured = true;
    Publish();
}

void TweaksService::ResetSrc() {
    if (!state_.srcConfigured)
        return;
    state_.srcConfigured = false;
    if (state_.enabled && Ready())
        ResetSrcSequence(bus_, bus_.Capture().state == busgate::CaptureBuffer::CapturingEmpty);
    bus_.FdkInit(BusGate::Transfer::Raw);
}

// ---- linear volume

void TweaksService::LinearOn() {
    if (!state_.enabled || !Ready())
        return;
    if (SwitchLinearVolumeOn(bus_, signature_))
        state_.linearActive = true;
    bus_.FdkInit(BusGate::Transfer::Raw);
}

void TweaksService::LinearOff() {
    if (!Ready())
        return;
    SwitchLinearVolumeOff(bus_);
    bus_.FdkInit(BusGate::Transfer::Raw);
}

void TweaksService::SetLinearBox(bool checked) {
    LoggerLockGuard hold(bus_.Lock());
    state_.linearBox = checked;
    if (checked) {
        LinearOn();
        SetLinearGain(Channel::Left, LinearGain(state_.mainVolume));
        SetLinearGain(Channel::Right, LinearGain(state_.subVolume));
    } else {
        state_.linearActive = state_.linearTested = false;
        if (state_.enabled)
            LinearOff();
    }
    Publish();
}

void TweaksService::SetLinearVolume(Channel channel, double levelDb) {
    LoggerLockGuard hold(bus_.Lock());
    double& volume = channel == Channel::Left ? state_.mainVolume : state_.subVolume;
    if (LinearVolumeAccepted(levelDb))
        volume = levelDb;
    SetLinearGain(channel, LinearGain(volume));
    Publish();
}

void TweaksService::SetLinearGain(Channel channel, uint32_t gain) {
    LoggerLockGuard hold(bus_.Lock());
    const uint16_t gainWord = channel == Channel::Left ? kMainGain : kSubGain;
    const uint16_t checkWord = channel == Channel::Left ? kMainCheck : kSubCheck;
    if (!state_.linearTested) {
        if (!Ready())
            return;
        if (!state_.linearActive) {
            // The code answers a test gain in its check word when the
            // patch is in.
            state_.linearTested = true;
            bus_.FdkInit(BusGate::Transfer::Raw);
            for (const auto& [test, expected] : {std::pair{0x1FFFFFu, 127u}, std::pair{0u, 0u}}) {
                WriteMemY(gainWord, test);
                Sleep(bus_, 1000);
                const auto check = ReadMemY(checkWord);
                if (!check || *check != expected) {
                    bus_.Messages().showError(kPatchNotLoaded, "Linear Volume");
                    Publish();
                    return;
                }
            }
            state_.linearActive = true;
        }
    }
    if (Ready() && state_.linearActive) {
        bus_.FdkInit(BusGate::Transfer::Raw);
        WriteMemY(gainWord, gain);
    }
    Publish();
}

// ---- tone generator

void TweaksService::RebuildLeft() {
    state_.leftTable = BuildToneTable(state_.sampleRate, state_.leftFrequency, state_.leftLevel);
    state_.changedTables |= 2;
}

void TweaksService::RebuildRight() {
    state_.rightTable = BuildToneTable(state_.sampleRate, state_.rightFrequency, state_.rightLevel);
    state_.changedTables |= 1;
    // The read pointer starts inside the table, also after it shrank.
    const auto last = static_cast<uint16_t>(state_.rightTable.size() - 1);
    if (state_.phase > last)
        state_.phase = last;
}

void TweaksService::ToneRebuildBoth() {
    LoggerLockGuard hold(bus_.Lock());
    RebuildLeft();
    RebuildRight();
    if (state_.toneOn)
        ToneSendTables();
    Publish();
}

void TweaksService::SetToneBox(bool checked) {
    LoggerLockGuard hold(bus_.Lock());
    state_.toneBox = checked;
    if (checked) {
        if (!state_.toneOn)
            ToneStart();
        ToneSendTables();
    } else {
        ToneStop();
    }
    Publish();
}

void TweaksService::SetSampleRate(uint16_t rate) {
    LoggerLockGuard hold(bus_.Lock());
    state_.sampleRate = rate;
    ToneRebuildBoth();
}

void TweaksService::SetFrequency(Channel channel, double hz) {
    LoggerLockGuard hold(bus_.Lock());
    if (hz >= 125.0 && hz <= 20000.0)
        ChangeFrequency(channel, RepresentableFrequency(hz, state_.sampleRate));
    Publish();
}

// A new frequency of a channel: the right channel starts again at phase 0;
// the channel's table is rebuilt and, while the tone plays, sent.
void TweaksService::ChangeFrequency(Channel channel, double hz) {
    if (channel == Channel::Right)
        state_.phase = 0;
    (channel == Channel::Left ? state_.leftFrequency : state_.rightFrequency) = hz;
    channel == Channel::Left ? RebuildLeft() : RebuildRight();
    if (state_.toneOn)
        ToneSendTables();
}

void TweaksService::SetFrequencySlider(Channel channel, int position) {
    LoggerLockGuard hold(bus_.Lock());
    const double current = channel == Channel::Left ? state_.leftFrequency : state_.rightFrequency;
    const double next = FrequencyOfSlider(position, state_.sampleRate);
    if (next != current)
        ChangeFrequency(channel, next);
    Publish();
}

void TweaksService::SetLevel(Channel channel, double levelDb) {
    LoggerLockGuard hold(bus_.Lock());
    double& level = channel == Channel::Left ? state_.leftLevel : state_.rightLevel;
    if (levelDb >= kMuteLevel && levelDb <= 3.0) {
        level = levelDb;
        channel == Channel::Left ? RebuildLeft() : RebuildRight();
        if (state_.toneOn)
            ToneSendTables();
    }
    Publish();
}

void TweaksService::SetLevelSlider(Channel channel, int position) {
    LoggerLockGuard hold(bus_.Lock());
    const double level = LevelOfSlider(position);
    const double stored = channel == Channel::Left ? state_.leftLevel : state_.rightLevel;
    if (level != stored)
        SetLevel(channel, level);
}

void TweaksService::SetPhase(int samples) {
    LoggerLockGuard hold(bus_.Lock());
    if (samples >= 0 && samples != state_.phase) {
        state_.phase = static_cast<uint16_t>(samples);
        RebuildRight();
        if (state_.toneOn)
            ToneSendTables();
    }
    Publish();
}

void TweaksService::ToneStart() {
    LoggerLockGuard hold(bus_.Lock());
    if (!state_.enabled || !Ready())
        return;
    bus_.FdkInit(BusGate::Transfer::Raw);
    const auto control = ReadMemY(kControl);
    if (!control)
        return;
    WriteMemY(kToneControl2, 3);
    WriteMemY(kToneControl1, 3);
    WriteMemY(kControl, *control | kToneBit);
    if ((*control & kSignatureMask) == signature_)
        state_.toneOn = true;
    if (state_.metersOn) {
        ClearPeaks();
        Arm(kMeterTimer, 10);
    }
}

void TweaksService::ToneStop() {
    LoggerLockGuard hold(bus_.Lock());
    state_.toneOn = false;
    if (state_.enabled && Ready()) {
        bus_.FdkInit(BusGate::Transfer::Raw);
        if (const auto control = ReadMemY(kControl)) {
            WriteMemY(kToneControl1, 3);
            WriteMemY(kControl, *control & ~kToneBit);
        }
    }
    if (state_.metersOn) {
        ClearPeaks();
        Arm(kMeterTimer, 10);
    }
}

void TweaksService::ToneSendTables() {
    LoggerLockGuard hold(bus_.Lock());
    if (!state_.enabled || !state_.toneOn || !Ready())
        return;
    bus_.FdkInit(BusGate::Transfer::Raw);
    WriteMemY(kToneControl1, 3);
    Sleep(bus_, 10);
    const auto pause = ReadX(kDspControl);
    if (!pause)
        return; // the tables stay marked changed
    WriteX(kDspControl, *pause & ~3u);
    const auto leftLength = static_cast<uint16_t>(state_.leftTable.size());
    const auto rightLength = static_cast<uint16_t>(state_.rightTable.size());
    if (state_.changedTables & 2)
        bus_.WriteMemBuffer(kWriteMemY, kLeftTable, state_.leftTable.data(), leftLength);
    if (state_.changedTables & 1)
        bus_.WriteMemBuffer(kWriteMemY, kRightTable, state_.rightTable.data(), rightLength);
    const uint32_t pointers[] = {kLeftTable,
                                 static_cast<uint32_t>(kLeftTable + leftLength),
                                 kLeftTable,
                                 kRightTable,
                                 static_cast<uint32_t>(kRightTable + rightLength),
                                 static_cast<uint32_t>(kRightTable + state_.phase)};
    bus_.WriteMemBufferL(pointers, kTonePointers, kWriteMemY, 6);
    state_.changedTables = 0;
    WriteMemY(kToneControl1, 0);
    WriteMemY(kToneControl2, 0);
    WriteX(kDspControl, *pause);
    if (state_.metersOn) {
        ClearPeaks();
        Arm(kMeterTimer, 10);
    }
}

// ---- level meters

void TweaksService::ResetMeters() {
    for (MeterView& meter : state_.meters)
        meter = {0, " --- ", kMeterGreen};
}

void TweaksService::ClearPeaks() {
    const uint32_t zeros[kMeters] = {};
    bus_.FdkInit(BusGate::Transfer::Raw);
    bus_.WriteMemBufferL(zeros, kPeaks, kWriteMemY, kMeters);
}

void TweaksService::SetLevelBox(bool checked) {
    LoggerLockGuard hold(bus_.Lock());
    state_.levelBox = checked;
    if (checked) {
        MetersEnable();
        Arm(kMeterTimer, state_.updateInterval);
    } else {
        state_.metersOn = false;
        if (state_.enabled)
            MetersDisable();
        ResetMeters();
        Arm(kMeterTimer, -1);
    }
    Publish();
}

void TweaksService::SetUpdateInterval(uint16_t ms) {
    {
        LoggerLockGuard hold(bus_.Lock());
        state_.updateInterval = ms;
    }
    Arm(kMeterTimer, MeterTimer());
}

void TweaksService::MetersEnable() {
    LoggerLockGuard hold(bus_.Lock());
    if (!state_.enabled || !Ready())
        return;
    bus_.FdkInit(BusGate::Transfer::Raw);
    const auto control = ReadMemY(kControl);
    if (!control)
        return;
    WriteMemY(kControl, *control | kMeterBit);
    ClearPeaks();
    if ((*control & kSignatureMask) == signature_)
        state_.metersOn = true;
}

void TweaksService::MetersDisable() {
    LoggerLockGuard hold(bus_.Lock());
    if (!Ready())
        return;
    bus_.FdkInit(BusGate::Transfer::Raw);
    if (const auto control = ReadMemY(kControl))
        WriteMemY(kControl, *control & ~kMeterBit);
}

std::array<double, kMeters> TweaksService::ReadPeaks() {
    std::array<double, kMeters> levels;
    levels.fill(kMuteLevel);
    bus_.FdkInit(BusGate::Transfer::Raw);
    for (int i = 0; i < kMeters; ++i) {
        const auto address = static_cast<uint16_t>(kPeaks + i);
        const auto peak = ReadMemY(address);
        if (!peak) {
            levels.fill(kMuteLevel);
            return levels;
        }
        WriteMemY(address, 0);
        levels[static_cast<std::size_t>(i)] = PeakLevel(*peak);
    }
    return levels;
}

int TweaksService::MeterTimer() {
    if (bus_.Lock().HeldByThisThread() || !bus_.Lock().TryLock())
        return 1;
    if (state_.enabled && Ready() && state_.metersOn && state_.levelBox) {
        const auto levels = ReadPeaks();
        bool changed = false;
        for (std::size_t i = 0; i < levels.size(); ++i) {
            MeterView next = MeterDisplay(levels[i]);
            // A bar is touched only when its position moves.
            if (next.position != state_.meters[i].position || state_.meters[i].text == " --- ") {
                state_.meters[i] = std::move(next);
                changed = true;
            }
        }
        if (changed)
            Publish();
    }
    const int next = state_.updateInterval;
    bus_.Lock().Unlock();
    return next;
}

} // namespace loggerui
