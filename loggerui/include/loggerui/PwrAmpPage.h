// "PWM and Power Amplifier Configuration": the view of the PWM page's
// settings, its actions on the chip and the FAULTB watch.
#pragma once

#include <wx/bitmap.h>
#include <wx/dialog.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include <array>

class wxCheckBox;
class wxRadioButton;
class wxStaticBitmap;
class wxStaticText;

namespace loggerui {

class WxLogger;

namespace pwmid {
inline constexpr int kPage = 145;
inline constexpr int kModule = 1309, kOutputs1 = 1311, kOutputs2 = 1313;
inline constexpr int kSwap12 = 1315, kSwap1AB = 1317, kSwap2AB = 1319;
inline constexpr int kFaultText = 1333, kFaultLamp = 1331, kFaultEvent = 1305;
inline constexpr int kPresetStage = 1335;
inline constexpr int kModeAutomatic = 1329, kMode20 = 1325, kMode21 = 1327;
inline constexpr int kModulationAD = 1321, kModulationBD = 1323;
inline constexpr int kAmplifier = 1083, kGain = 1339, kGainLabel = 1345, kUpscaler = 1343;
inline constexpr int kClearFault = 1109;
} // namespace pwmid

// An edit control that adds nothing to the toolkit's.
class CMyEdit : public wxTextCtrl {};

class CPwrAmpDialog final : public wxDialog {
public:
    explicit CPwrAmpDialog(WxLogger& logger);
    // Builds the window, hidden; false when the toolkit could not make it.
    bool Create(wxWindow* parent);
    ~CPwrAmpDialog() override;

    // Shows the model's settings in the controls.
    void ShowSettings();
    // Starts the FAULTB watch after ms, or stops it.
    void StartWatch(int milliseconds);
    void StopWatch() { timer_.Stop(); }
    bool Watching() const { return timer_.IsRunning(); }
    // One FAULTB poll, as the watch's timer does it.
    void PollFaultNow();
    // 0 blank, 1 red, 2 green.
    int ShownLamp() const { return shownLamp_; }

private:
    void Build();
    void OnTimer();
    void ShowLamp(int lamp);
    void GainEdited();

    WxLogger& logger_;
    wxTimer timer_;
    std::array<wxBitmap, 3> lamps_; // blank, red, green
    int shownLamp_ = 2;
    wxCheckBox* module_ = nullptr;
    wxCheckBox* outputs1_ = nullptr;
    wxCheckBox* outputs2_ = nullptr;
    wxCheckBox* swaps_[3] = {};
    wxStaticText* faultText_ = nullptr;
    wxStaticBitmap* faultLamp_ = nullptr;
    wxCheckBox* faultEvent_ = nullptr;
    wxCheckBox* presetStage_ = nullptr;
    wxRadioButton* modes_[3] = {};
    wxRadioButton* modulations_[2] = {};
    wxCheckBox* amplifier_ = nullptr;
    wxTextCtrl* gain_ = nullptr;
    wxStaticText* gainLabel_ = nullptr;
    wxCheckBox* upscaler_ = nullptr;
    CMyEdit myEdit_; // attached to no control
};

} // namespace loggerui
