// The evaluation-board pages' models: the boxes and choices of the QX410x
// and QZ625x boards' pages, the hooks the bus calls around the chip's
// traffic (connect, preset start, preset complete) and the pages' actions on
// the board. Everything here is safe to call on any thread; the windows are
// told of changes through a notifier and pick the state up on their own
// thread.
#pragma once

#include "busaccess/busgate/LoggerServices.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

namespace busgate {
class BusGate;
}

namespace loggerui {

// Control ids of the evaluation-board pages.
namespace evbid {
inline constexpr int kQX410xPage = 106;
inline constexpr int kQZ625xPage = 146;
inline constexpr int kSpdif = 1079;
inline constexpr int kSdiExternal = 1093;
inline constexpr int kSdiUsb = 1091;
inline constexpr int kSdiOptical = 1087;
inline constexpr int kSdiRca = 1089;
inline constexpr int kVolume = 1075;
inline constexpr int kVolumeLabel = 1077;
inline constexpr int kMuteAtPreset = 1073;
inline constexpr int kAmplifier = 1083;
inline constexpr int kStraps = 1111;
inline constexpr int kReset = 1097;
inline constexpr int kStatus = 1081;
inline constexpr int kHighPower = 1085;
} // namespace evbid

// SDI0 sources of the QX410x page.
enum Sdi0Source : int { kSdiExternal = 0, kSdiUsb = 1, kSdiOptical = 2, kSdiRca = 3 };

struct EvbSettings {
    bool spdif = false;
    int sdi0 = kSdiUsb;
    int volume = 48; // slider position 0..255
    bool muteAtPreset = true;
    bool amplifier = false;
    bool straps = true;
    bool reset = true;
    bool highPower = true;
    bool statusAutoUpdate = true;
};

// What the volume controls show.
struct EvbVolumeView {
    bool labelShown = false;
    bool sliderEnabled = true;
    std::string label = "-100 dB";
};

// The page of one evaluation board (type 1: QX410x, type 4: QZ625x). The
// bus calls its three hooks; the window calls the actions.
class EvbBoardPage final : public busgate::CEvbCfg_Dialog {
public:
    EvbBoardPage(busgate::BusGate& bus, int boardType);

    int BoardType() const { return boardType_; }
    bool IsQX410x() const { return boardType_ == 1; }

    // Called (on any thread) when the status timer is to be armed or the
    // settings changed under the window; the window then takes the state.
    void SetNotifier(std::function<void()> notify);
    // The state a page has when its window is created.
    void ResetToDefaults();
    EvbSettings Settings() const;
    EvbVolumeView Volume() const;
    // The last arming of the status timer not taken yet (ms), or -1.
    int TakeTimerRequest() { return timerRequest_.exchange(-1); }

    // ---- hooks of the bus
    void BoardIdentified() override; // connect: straps, reset, routing
    void BeforeReset() override;     // preset start
    void AfterSetup() override;      // preset complete

    // ---- actions of the window (GUI thread)
    // The S/PDIF box clicked to the new state: asks about the reset while
    // the chip is ready; on No the box goes back and nothing else happens.
    void SpdifClicked(bool checked);
    // One of the SDI0 radios (QX410x).
    void SelectSource(int source);
    void MuteAtPresetClicked(bool checked);
    // The amplifier box (QX410x).
    void AmplifierClicked(bool checked);
    // The volume slider moved to a position (QX410x).
    void VolumeChanged(int position);
    // The reset or strap box: with reset unchecked the straps go unchecked.
    void ResetOrStrapsClicked(bool reset, bool straps);
    void HighPowerClicked(bool checked);
    void SetStatusAutoUpdate(bool on);

    // The status timer fired: refreshes the status pane when due; returns
    // the next interval (ms), or 0 when the timer stops.
    int StatusTimer(bool visible);

private:
    void Change(const std::function<void(EvbSettings&)>& change);
    void ArmTimer(int milliseconds);
    void Notify();
    void ConnectQX410x(const EvbSettings& s);
    void ConnectQZ625x(const EvbSettings& s);
    void ApplySource(int source);
    void RunAmplifier(bool checked);
    void ApplyVolume(int position);
    void AnalogAmplifiers(bool unmuted);
    void RefreshStatus();

    busgate::BusGate& bus_;
    const int boardType_;
    mutable std::mutex mutex_;
    EvbSettings settings_;
    EvbVolumeView volume_;
    std::function<void()> notify_;
    std::atomic<int> timerRequest_{-1};
    std::atomic<bool> selecting_{false};
};

// The volume label for a slider position with the bus closed, or " Mute ".
std::string VolumeLabelClosed(int position);

} // namespace loggerui
