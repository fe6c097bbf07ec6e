#include "loggerui/VolumeService.h"

#include "busaccess/busgate/FilterLog.h"
#include "busaccess/busgate/LoggerLock.h"
#include "foundation/KCStFile.h"

#include <chrono>

namespace loggerui {

namespace {

using busgate::BusGate;
using busgate::LoggerLockGuard;

constexpr int kLinearMain = 20, kLinearSub = 21;

} // namespace

const VolumeTarget kVolumeTargets[12] = {
    {"DulmVolume", 0},
    {"Input Mixer SDI0 (M1)", 1},
    {"Input Mixer SDI1 (M2)", 2},
    {"Input Mixer SDI2 (M3)", 3},
    {"Input Mixer SDI3 (M4)", 4},
    {"Output Mixer SDO0 (M9)", 9},
    {"Output Mixer SDO1 (M10)", 10},
    {"Output Mixer SDO2 (M17)(Main)", 17},
    {"Output Mixer SDO2 (M15)(Sub)", 15},
    {"Output Mixer SDO3 (M11)", 11},
    {"Linear Volume (Main)", 20},
    {"Linear Volume (Sub)", 21},
};

VolumeService::VolumeService(BusGate& bus, TweaksService& tweaks)
    : bus_(bus), tweaks_(tweaks), levels_(DefaultCurve()) {
    encoded_.resize(levels_.size());
    const VolumeEncoding encoding = EncodingOf(target_);
    for (std::size_t i = 0; i < levels_.size(); ++i)
        encoded_[i] = EncodeLevel(encoding, levels_[i]);
}

void VolumeService::Changed() {
    if (changed_)
        changed_();
}

uint16_t VolumeService::Clamp(uint16_t step) const {
    return levels_.empty() ? 0
                           : static_cast<uint16_t>(std::min<std::size_t>(step, levels_.size() - 1));
}

std::string VolumeService::StepText(std::size_t step) const {
    if (step >= encoded_.size())
        return "";
    return busgate::FormatC(64, "%.2f dB", encoded_[step].actual);
}

std::string VolumeService::CurrentText() const {
    if (current_ >= encoded_.size())
        return "";
    return busgate::FormatC(64, "%.2f dB (%u)", encoded_[current_].actual,
                            static_cast<unsigned>(current_));
}

void VolumeService::SendVolume(int32_t raw) {
    if (!Ready())
        return;
    const auto r = static_cast<uint32_t>(raw);
    if (target_ == 0) {
        bus_.SendCommand(static_cast<uint16_t>(r), 0xD0);
    } else if (target_ >= 1 && target_ <= 17) {
        if (bus_.State().chipFirmwareVersion >= 0x0704) {
            const uint8_t frame[6] = {0x00,
                                      static_cast<uint8_t>(target_ == 15 ? 0xEB : 0xEA),
                                      static_cast<uint8_t>(target_ == 15 ? 0 : target_),
                                      static_cast<uint8_t>(r >> 16),
                                      static_cast<uint8_t>(r >> 8),
                                      static_cast<uint8_t>(r)};
            bus_.SendBuffer(2, frame);
        } else {
            uint8_t frame[57] = {0x00, 0xA4, 0x11};
            const auto& gains = bus_.MixerGains();
            for (int m = 1; m <= busgate::kMixerGains; ++m) {
                const uint32_t g = m == target_ ? r : gains[static_cast<std::size_t>(m - 1)];
                uint8_t* out = frame + 3 * m;
                out[0] = static_cast<uint8_t>(g >> 16);
                out[1] = static_cast<uint8_t>(g >> 8);
                out[2] = static_cast<uint8_t>(g);
            }
            frame[54] = 0x00;
            frame[55] = 0xC8;
            frame[56] = 0x00;
            bus_.SendBuffer(19, frame);
        }
    } else if (target_ == kLinearMain) {
        tweaks_.SetLinearGain(Channel::Left, r);
    } else if (target_ == kLinearSub) {
        tweaks_.SetLinearGain(Channel::Right, r);
    }
}

void VolumeService::ApplyStep(uint16_t step, bool logged) {
    if (step >= encoded_.size())
        return;
    {
        LoggerLockGuard hold(bus_.Lock());
        bus_.FdkInit(logged ? BusGate::Transfer::Logger : BusGate::Transfer::Raw);
        const BusGate::VolumeState saved = bus_.SaveVolumeState();
        SendVolume(encoded_[step].raw);
        bus_.RestoreVolumeState(saved);
        bus_.FdkInit(BusGate::Transfer::Raw);
    }
    Changed();
}

void VolumeService::RecomputeCurve() {
    const VolumeEncoding encoding = EncodingOf(target_);
    encoded_.resize(levels_.size());
    for (std::size_t i = 0; i < levels_.size(); ++i)
        encoded_[i] = EncodeLevel(encoding, levels_[i]);
    start_ = 0;
    end_ = static_cast<uint16_t>(levels_.empty() ? 0 : levels_.size() - 1);
    current_ = Clamp(current_);
    ApplyStep(current_, false);
    Changed();
}

void VolumeService::RestoreTarget() {
    if (!Ready())
        return;
    LoggerLockGuard hold(bus_.Lock());
    bus_.FdkInit(BusGate::Transfer::Raw);
    if (target_ == 0) {
        bus_.SendCommand(static_cast<uint16_t>(bus_.LastVolumeGain()), 0xD0);
    } else if (target_ == kLinearMain) {
        tweaks_.SetLinearVolume(Channel::Left, tweaks_.Snapshot().mainVolume);
    } else if (target_ == kLinearSub) {
        tweaks_.SetLinearVolume(Channel::Right, tweaks_.Snapshot().subVolume);
    } else {
        if (bus_.SendCommand(0x11, 0xA4) == 0) {
            for (uint32_t gain : bus_.MixerGains())
                bus_.SendData(gain);
            bus_.SendCommand(0, 0xC8);
        }
    }
}

void VolumeService::SelectTarget(int data) {
    RestoreTarget();
    target_ = data;
    RecomputeCurve();
}

void VolumeService::SetInterval(uint16_t interval) {
    interval_ = std::clamp<uint16_t>(interval, 3, 20);
}

void VolumeService::StepTo(uint16_t step) {
    current_ = Clamp(step);
    ApplyStep(current_, true);
}

bool VolumeService::LoadCurveText(const std::string& text) {
    const CurveLoad load = ParseCurve(text);
    for (const CurveMessage& message : load.messages) {
        if (message.error)
            bus_.Messages().showError(message.text, kCurveCaption);
        else
            bus_.Messages().showInformation(message.text, kCurveCaption);
    }
    if (!load.accepted)
        return false;
    levels_ = load.levels;
    current_ = 0;
    RecomputeCurve();
    return true;
}

bool VolumeService::LoadCurveFile(const std::string& path) {
    std::string text;
    if (kvFM::ReadRegularFile(path, text) != eNoErr) {
        bus_.Messages().showError("Fail to open curve file.", "Load curve from file");
        return false;
    }
    return LoadCurveText(text);
}

double VolumeService::RunSweep(const std::function<void()>& pump) {
    if (!Ready() || levels_.empty())
        return -1.0;
    if (sweeping_) {
        // Ends the running sweep at its next check.
        current_ = end_;
        ApplyStep(end_, false);
        return -1.0;
    }
    using Ms = std::chrono::milliseconds;
    busgate::Clock& clock = bus_.Time();
    auto pumpFor = [&](Ms ms) {
        const auto until = clock.Now() + ms;
        while (clock.Now() < until) {
            if (pump)
                pump();
            clock.SleepFor(Ms(1));
        }
    };
    sweeping_ = true;
    Changed();
    pumpFor(Ms(100));
    const int direction = start_ < end_ ? 1 : -1;
    busgate::Clock::TimePoint began, ended;
    {
        LoggerLockGuard hold(bus_.Lock());
        bus_.FdkInit(BusGate::Transfer::Raw);
        bus_.SendCommand(1, 0xC7); // soft mute on
        clock.SleepFor(Ms(200));
        current_ = start_;
        ApplyStep(start_, false);
        bus_.FdkInit(BusGate::Transfer::Raw);
        bus_.SendCommand(0, 0xC7); // soft mute off
        clock.SleepFor(Ms(1000));
        began = clock.Now();
        while (current_ != end_) {
            current_ = static_cast<uint16_t>(current_ + direction);
            ApplyStep(current_, false);
            pumpFor(Ms(interval_ * 10));
        }
        ended = clock.Now();
    }
    sweeping_ = false;
    Changed();
    return std::chrono::duration<double>(ended - began).count();
}

} // namespace loggerui
