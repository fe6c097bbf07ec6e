#include "loggerui/PwrAmpPage.h"

#include "loggerui/Dialogs.h"
#include "loggerui/PwrAmp.h"
#include "loggerui/WxLogger.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/radiobut.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

namespace loggerui {

namespace {

using namespace pwmid;

constexpr int kWatchMs = 100;
constexpr int kLampBitmaps[3] = {124, 125, 126}; // blank, red, green
constexpr int kBlank = 0, kRed = 1, kGreen = 2;
// The swap boxes and their bits of the power control word.
constexpr int kSwapIds[3] = {kSwap12, kSwap1AB, kSwap2AB};
constexpr int kSwapBits[3] = {11, 12, 13};
constexpr int kModeIds[3] = {kModeAutomatic, kMode20, kMode21};
const char* const kModeTexts[3] = {
    "Automatic selection - according to the SPEAKER TYPE selected in DulmDSP configuration (will "
    "be updated on next Soft Reset)",
    "2.0 mode: \nPWM1 drives PWM1A and PWM1B pins (BTL-R) \nPWM2 drives PWM2A and PWM2B pins "
    "(BTL-L)\nPWM3 Not used",
    "2.1 mode: \nPWM1 drives PWM1A pin (SE-R)\nPWM2 drives PWM1B pin (SE-L)\nPWM3 drives PWM2A "
    "and PWM2B pins (BTL-SUB)"};

} // namespace

CPwrAmpDialog::CPwrAmpDialog(WxLogger& logger) : logger_(logger) {}

bool CPwrAmpDialog::Create(wxWindow* parent) {
    if (!wxDialog::Create(parent, kPage, "PWM and Power Amplifier Configuration"))
        return false;
    SetLibraryIcon(*this);
    for (size_t i = 0; i < lamps_.size(); ++i)
        lamps_[i] = LibraryBitmap(kLampBitmaps[i]);
    Build();
    timer_.SetOwner(this, 1);
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) { OnTimer(); });
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { Hide(); });
    ShowSettings();
    ShowLamp(kGreen);
    return true;
}

CPwrAmpDialog::~CPwrAmpDialog() {
    timer_.Stop();
}

void CPwrAmpDialog::Build() {
    busgate::BusGate& bus = logger_.Bus();
    PwmModel& model = logger_.Pages().pwm;
    auto change = [&model](auto edit) {
        PwmSettings s = model.Get();
        edit(s);
        model.Set(s);
    };
    auto* top = new wxBoxSizer(wxVERTICAL);

    auto* pwm = new wxStaticBoxSizer(wxVERTICAL, this, "PWM Configuration");
    wxWindow* box = pwm->GetStaticBox();
    module_ = new wxCheckBox(box, kModule, "Enable PWM module");
    outputs1_ = new wxCheckBox(box, kOutputs1, "Enable PWM1A / PWM1B outputs");
    outputs2_ = new wxCheckBox(box, kOutputs2, "Enable PWM2A / PWM2B outputs");
    const char* swapTexts[3] = {"Swap PWM1 with PWM2 (left/right)",
                                "Swap PWM1A with PWM1B pins (polarity)",
                                "Swap PWM2A with PWM2B pins (polarity)"};
    for (wxCheckBox* b : {module_, outputs1_, outputs2_})
        pwm->Add(b, 0, wxALL, 2);
    for (int i = 0; i < 3; ++i) {
        swaps_[i] = new wxCheckBox(box, kSwapIds[i], swapTexts[i]);
        pwm->Add(swaps_[i], 0, wxALL, 2);
    }
    upscaler_ = new wxCheckBox(box, kUpscaler, "Enable Up-Scaler");
    pwm->Add(upscaler_, 0, wxALL, 2);
    auto* gainRow = new wxBoxSizer(wxHORIZONTAL);
    gainLabel_ = new wxStaticText(box, kGainLabel, "Up-scaler gain [dB]:");
    gain_ = new wxTextCtrl(box, kGain, "0");
    gainRow->Add(gainLabel_, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    gainRow->Add(gain_, 1);
    pwm->Add(gainRow, 0, wxEXPAND | wxALL, 2);
    auto* modulationLabel = new wxStaticText(box, wxID_ANY, "Select Output Modulation:");
    modulations_[0] = new wxRadioButton(box, kModulationAD, "AD mode (Traditional)",
                                        wxDefaultPosition, wxDefaultSize, wxRB_GROUP);
    modulations_[1] = new wxRadioButton(box, kModulationBD, "BD mode");
    // Neither seen nor changed by the user.
    for (wxWindow* hidden :
         {static_cast<wxWindow*>(modulationLabel), static_cast<wxWindow*>(modulations_[0]),
          static_cast<wxWindow*>(modulations_[1])}) {
        pwm->Add(hidden, 0, wxALL, 2);
        hidden->Hide();
    }
    pwm->Add(new wxStaticText(box, wxID_ANY, "Select Output Mode:"), 0, wxALL, 2);
    for (int i = 0; i < 3; ++i) {
        modes_[i] = new wxRadioButton(box, kModeIds[i], kModeTexts[i], wxDefaultPosition,
                                      wxDefaultSize, i == 0 ? wxRB_GROUP : 0);
        pwm->Add(modes_[i], 0, wxALL, 2);
    }
    pwm->Add(new wxStaticText(box, wxID_ANY,
                              "Note:\n- PWM1 and PWM2 are driven from SDO3\n- PWM3 is driven "
                              "from SDO2"),
             0, wxALL, 2);
    top->Add(pwm, 0, wxEXPAND | wxALL, 4);

    auto* amp = new wxStaticBoxSizer(wxVERTICAL, this, " Power Amplifier Configuration ");
    box = amp->GetStaticBox();
    amplifier_ = new wxCheckBox(box, kAmplifier, "Enable Amplifier module");
    faultEvent_ = new wxCheckBox(box, kFaultEvent, "Enable FAULTB to generate event on EVENT pin");
    auto* faultRow = new wxBoxSizer(wxHORIZONTAL);
    faultLamp_ = new wxStaticBitmap(box, kFaultLamp, lamps_[kGreen]);
    faultText_ = new wxStaticText(box, kFaultText, kFaultNoEvent);
    faultRow->Add(faultLamp_, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    faultRow->Add(faultText_, 1, wxALIGN_CENTER_VERTICAL);
    auto* clear = new wxButton(box, kClearFault, "Clear FAULTB event status");
    presetStage_ = new wxCheckBox(box, kPresetStage, " Config PWM and Amplifier at preset stage");
    amp->Add(amplifier_, 0, wxALL, 2);
    amp->Add(faultEvent_, 0, wxALL, 2);
    amp->Add(faultRow, 0, wxEXPAND | wxALL, 2);
    amp->Add(clear, 0, wxALL, 2);
    amp->Add(presetStage_, 0, wxALL, 2);
    presetStage_->Hide();
    top->Add(amp, 0, wxEXPAND | wxALL, 4);
    SetSizerAndFit(top);

    module_->Bind(wxEVT_CHECKBOX, [this, &bus, change](wxCommandEvent&) {
        const bool on = module_->GetValue();
        change([on](PwmSettings& s) {
            s.module = on;
            if (!on)
                s.outputs1 = s.outputs2 = false;
        });
        ShowSettings();
        PwmSetModule(bus, on);
    });
    outputs1_->Bind(wxEVT_CHECKBOX, [this, &bus, change](wxCommandEvent&) {
        const bool on = outputs1_->GetValue();
        change([on](PwmSettings& s) { s.outputs1 = on; });
        PwmSetPowerBit(bus, 0, on);
    });
    outputs2_->Bind(wxEVT_CHECKBOX, [this, &bus, change](wxCommandEvent&) {
        const bool on = outputs2_->GetValue();
        change([on](PwmSettings& s) { s.outputs2 = on; });
        PwmSetPowerBit(bus, 1, on);
    });
    for (int i = 0; i < 3; ++i)
        swaps_[i]->Bind(wxEVT_CHECKBOX, [this, i, &bus, change](wxCommandEvent&) {
            const bool on = swaps_[i]->GetValue();
            change([i, on](PwmSettings& s) {
                bool* fields[3] = {&s.swap12, &s.swap1AB, &s.swap2AB};
                *fields[i] = on;
            });
            PwmSetPowerBit(bus, kSwapBits[i], on);
        });
    for (int i = 0; i < 3; ++i)
        modes_[i]->Bind(wxEVT_RADIOBUTTON, [i, &bus, change](wxCommandEvent&) {
            change([i](PwmSettings& s) { s.outputMode = i; });
            PwmSetOutputMode(bus, i);
        });
    for (int i = 0; i < 2; ++i)
        modulations_[i]->Bind(wxEVT_RADIOBUTTON, [i, &bus, change](wxCommandEvent&) {
            change([i](PwmSettings& s) { s.modulation = i; });
            PwmSetModulation(bus, i);
        });
    faultEvent_->Bind(wxEVT_CHECKBOX, [this, &bus, change](wxCommandEvent&) {
        const bool on = faultEvent_->GetValue();
        change([on](PwmSettings& s) { s.faultEvent = on; });
        PwmSetFaultEvent(bus, on);
    });
    clear->Bind(wxEVT_BUTTON, [this, &bus](wxCommandEvent&) {
        PwmClearFault(bus);
        PollFaultNow();
    });
    amplifier_->Bind(wxEVT_CHECKBOX, [this, &bus, change](wxCommandEvent&) {
        const bool on = amplifier_->GetValue();
        change([on](PwmSettings& s) { s.amplifier = on; });
        uint32_t selection2 = logger_.Pages().io.Selection2();
        PwmSetAmplifier(bus, on, selection2);
        logger_.Pages().io.SetSelection2(selection2);
    });
    upscaler_->Bind(wxEVT_CHECKBOX, [this, &bus, change](wxCommandEvent&) {
        const bool on = upscaler_->GetValue();
        change([on](PwmSettings& s) { s.upscaler = on; });
        ShowSettings();
        PwmSetUpscaler(bus, on);
    });
    // The preset stage reads the gain as typed, whether the edit was left
    // or not.
    gain_->Bind(wxEVT_TEXT, [this, change](wxCommandEvent&) {
        const float gain = ParseUpscalerGain(gain_->GetValue().utf8_string());
        change([gain](PwmSettings& s) { s.gain = gain; });
    });
    gain_->Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& event) {
        event.Skip();
        GainEdited();
    });
    presetStage_->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) {
        logger_.Settings().SetChecked(busgate::ctl::kConfigPwrAmpAtPreset,
                                      presetStage_->GetValue());
    });
}

void CPwrAmpDialog::GainEdited() {
    const float gain = ParseUpscalerGain(gain_->GetValue().utf8_string());
    PwmSettings s = logger_.Pages().pwm.Get();
    s.gain = gain;
    logger_.Pages().pwm.Set(s);
    gain_->ChangeValue(UpscalerGainText(gain));
    if (s.upscaler)
        PwmLoadGain(logger_.Bus(), gain);
}

void CPwrAmpDialog::ShowSettings() {
    const PwmSettings s = logger_.Pages().pwm.Get();
    module_->SetValue(s.module);
    outputs1_->SetValue(s.outputs1);
    outputs2_->SetValue(s.outputs2);
    outputs1_->Enable(s.module);
    outputs2_->Enable(s.module);
    swaps_[0]->SetValue(s.swap12);
    swaps_[1]->SetValue(s.swap1AB);
    swaps_[2]->SetValue(s.swap2AB);
    faultEvent_->SetValue(s.faultEvent);
    presetStage_->SetValue(logger_.IsChecked(busgate::ctl::kConfigPwrAmpAtPreset));
    if (s.outputMode >= 0 && s.outputMode < 3)
        modes_[s.outputMode]->SetValue(true);
    modulations_[s.modulation == 0 ? 0 : 1]->SetValue(true);
    amplifier_->SetValue(s.amplifier);
    upscaler_->SetValue(s.upscaler);
    gain_->Enable(s.upscaler);
    gainLabel_->Enable(s.upscaler);
    // The text stays as typed until the edit is left; a gain shown once in
    // its fixed form is shown so again.
    if (ParseUpscalerGain(gain_->GetValue().utf8_string()) != s.gain)
        gain_->ChangeValue(UpscalerGainText(s.gain));
}

void CPwrAmpDialog::StartWatch(int milliseconds) {
    timer_.StartOnce(milliseconds > 0 ? milliseconds : 1);
}

void CPwrAmpDialog::ShowLamp(int lamp) {
    shownLamp_ = lamp;
    if (lamps_[static_cast<size_t>(lamp)].IsOk())
        faultLamp_->SetBitmap(lamps_[static_cast<size_t>(lamp)]);
}

void CPwrAmpDialog::OnTimer() {
    busgate::LoggerLock& lock = logger_.Bus().Lock();
    // The watch never waits for the lock, nor runs inside a section this
    // thread holds further up its stack.
    if (lock.HeldByThisThread() || !lock.TryLock()) {
        timer_.StartOnce(kWatchMs);
        return;
    }
    PollFaultNow();
    lock.Unlock();
}

void CPwrAmpDialog::PollFaultNow() {
    if (logger_.Bus().State().ready != 1) {
        faultText_->SetLabel(kFaultUnknown);
        ShowLamp(kBlank);
        timer_.Stop();
        return;
    }
    timer_.StartOnce(kWatchMs);
    if (const std::optional<FaultStatus> status = PollFault(logger_.Bus())) {
        ShowLamp(status->event ? kRed : kGreen);
        faultText_->SetLabel(wxString::FromUTF8(status->text));
    }
}

} // namespace loggerui
