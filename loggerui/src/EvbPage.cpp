#include "loggerui/EvbPage.h"

#include "loggerui/Dialogs.h"
#include "loggerui/EvbPages.h"
#include "loggerui/WxLogger.h"

#include <wx/checkbox.h>
#include <wx/radiobut.h>
#include <wx/sizer.h>
#include <wx/slider.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

namespace loggerui {

namespace {

using namespace evbid;

// The SDI0 radios, in the order of the sources.
constexpr int kSourceIds[4] = {evbid::kSdiExternal, evbid::kSdiUsb, evbid::kSdiOptical,
                               evbid::kSdiRca};
const char* const kSourceTexts[4] = {"External source or disable", "USB Audio (48KHz sample rate)",
                                     "S/PDIF optical receiver", "S/PDIF RCA receiver"};

wxStaticBoxSizer* Group(wxWindow* parent, const char* caption) {
    return new wxStaticBoxSizer(wxVERTICAL, parent, wxString::FromUTF8(caption));
}

wxStaticText* Note(wxWindow* parent, const char* text) {
    return new wxStaticText(parent, wxID_ANY, wxString::FromUTF8(text));
}

} // namespace

CEvbCfgDialog::CEvbCfgDialog(WxLogger& logger, EvbBoardPage& page) : logger_(logger), page_(page) {}

bool CEvbCfgDialog::Create(wxWindow* parent) {
    const bool qx = page_.IsQX410x();
    if (!wxDialog::Create(parent, qx ? kQX410xPage : kQZ625xPage,
                          qx ? "QX410x EVB Configuration" : "QZ625x EVB Configuration"))
        return false;
    SetLibraryIcon(*this);
    Build();
    timer_.SetOwner(this, 1);
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) { OnStatusTimer(); });
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { Hide(); });
    TakeState();
    return true;
}

CEvbCfgDialog::~CEvbCfgDialog() {
    timer_.Stop();
}

void CEvbCfgDialog::Build() {
    auto* column = new wxBoxSizer(wxVERTICAL);
    if (page_.IsQX410x())
        BuildQX410x(column);
    else
        BuildQZ625x(column);

    wxStaticBoxSizer* straps = Group(this, " STRAPs and HW Reset ");
    straps_ = new wxCheckBox(straps->GetStaticBox(), kStraps,
                             page_.IsQX410x() ? " Auto control I2CMS and REF"
                                              : " Auto-control I2CMS and REF straps");
    reset_ = new wxCheckBox(straps->GetStaticBox(), kReset, " Enable HW reset on DSP Connect");
    straps->Add(straps_, 0, wxALL, 2);
    straps->Add(reset_, 0, wxALL, 2);
    column->Add(straps, 0, wxEXPAND | wxALL, 4);
    auto resetOrStraps = [this](wxCommandEvent&) {
        page_.ResetOrStrapsClicked(reset_->GetValue(), straps_->GetValue());
        TakeState();
    };
    straps_->Bind(wxEVT_CHECKBOX, resetOrStraps);
    reset_->Bind(wxEVT_CHECKBOX, resetOrStraps);

    wxStaticBoxSizer* status = Group(this, "Status");
    status_ =
        new wxTextCtrl(status->GetStaticBox(), kStatus, " ", wxDefaultPosition, wxSize(360, 200),
                       wxTE_MULTILINE | wxTE_READONLY | wxTE_RICH2 | wxVSCROLL);
    status->Add(status_, 1, wxEXPAND | wxALL, 2);
    column->Add(status, 1, wxEXPAND | wxALL, 4);
    if (page_.IsQX410x()) {
        // While the user reads or selects in the pane it is not refreshed.
        status_->Bind(wxEVT_SET_FOCUS, [this](wxFocusEvent& event) {
            page_.SetStatusAutoUpdate(false);
            event.Skip();
        });
        status_->Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& event) {
            page_.SetStatusAutoUpdate(true);
            event.Skip();
        });
    }
    SetSizerAndFit(column);
}

void CEvbCfgDialog::BuildQX410x(wxSizer* column) {
    wxStaticBoxSizer* spdif = Group(this, "S/PDIF");
    spdif_ = new wxCheckBox(spdif->GetStaticBox(), kSpdif, " Enable");
    spdif->Add(spdif_, 0, wxALL, 2);
    spdif->Add(Note(spdif->GetStaticBox(),
                    "- S/PDIF RX works as I2S master,\n- S/PDIF TX works as I2S slave."),
               0, wxALL, 2);
    column->Add(spdif, 0, wxEXPAND | wxALL, 4);

    wxStaticBoxSizer* sources = Group(this, "  SDI0 Source Selection  ");
    for (int i = 0; i < 4; ++i) {
        sources_[i] = new wxRadioButton(sources->GetStaticBox(), kSourceIds[i], kSourceTexts[i],
                                        wxDefaultPosition, wxDefaultSize, i == 0 ? wxRB_GROUP : 0);
        sources->Add(sources_[i], 0, wxALL, 2);
        sources_[i]->Bind(wxEVT_RADIOBUTTON, [this, i](wxCommandEvent&) {
            page_.SelectSource(i);
            TakeState();
        });
    }
    column->Add(sources, 0, wxEXPAND | wxALL, 4);

    wxStaticBoxSizer* amp = Group(this, " 25W I2S High-Power Amplifier");
    amplifier_ = new wxCheckBox(amp->GetStaticBox(), kAmplifier, " Enable and Init");
    amp->Add(amplifier_, 0, wxALL, 2);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(Note(amp->GetStaticBox(), "Volume:"), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    volume_ = new wxSlider(amp->GetStaticBox(), kVolume, 48, 0, 255, wxDefaultPosition,
                           wxSize(200, -1), wxSL_HORIZONTAL | wxSL_AUTOTICKS);
    volume_->SetLineSize(1);
    volume_->SetPageSize(16);
    volume_->SetTickFreq(16);
    row->Add(volume_, 1, wxEXPAND);
    volumeLabel_ = new wxStaticText(amp->GetStaticBox(), kVolumeLabel, "-100 dB", wxDefaultPosition,
                                    wxSize(90, -1));
    row->Add(volumeLabel_, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 4);
    amp->Add(row, 0, wxEXPAND | wxALL, 2);
    column->Add(amp, 0, wxEXPAND | wxALL, 4);

    wxStaticBoxSizer* analog = Group(this, " 2W Amplifier and Headphones");
    muteAtPreset_ =
        new wxCheckBox(analog->GetStaticBox(), kMuteAtPreset,
                       "- MUTE before preset start (0xC5) \n- UNMUTE after preset complete (0xAC)");
    analog->Add(muteAtPreset_, 0, wxALL, 2);
    column->Add(analog, 0, wxEXPAND | wxALL, 4);

    spdif_->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) {
        page_.SpdifClicked(spdif_->GetValue());
        TakeState();
    });
    amplifier_->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) {
        page_.AmplifierClicked(amplifier_->GetValue());
        TakeState();
    });
    volume_->Bind(wxEVT_SLIDER, [this](wxCommandEvent&) {
        page_.VolumeChanged(volume_->GetValue());
        TakeState();
    });
    muteAtPreset_->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) {
        page_.MuteAtPresetClicked(muteAtPreset_->GetValue());
    });
}

void CEvbCfgDialog::BuildQZ625x(wxSizer* column) {
    wxStaticBoxSizer* spdif = Group(this, "S/PDIF and ADC");
    spdif_ = new wxCheckBox(spdif->GetStaticBox(), kSpdif, " Enable");
    spdif->Add(spdif_, 0, wxALL, 2);
    spdif->Add(Note(spdif->GetStaticBox(), "- S/PDIF RX works as I2S master\n- S/PDIF TX works "
                                           "as I2S slave\n- ADC works as I2S slave"),
               0, wxALL, 2);
    column->Add(spdif, 0, wxEXPAND | wxALL, 4);
    wxStaticBoxSizer* routing = Group(this, "  Input Routing   ");
    routing->Add(Note(routing->GetStaticBox(),
                      "SDI0 <- Audio USB (48KHz sample rate)\nSDI1 <- S/PDIF RX\nSDI2 <- Not "
                      "used (use external I2S)\nSDI3 <- ADC\n"),
                 0, wxALL, 2);
    column->Add(routing, 0, wxEXPAND | wxALL, 4);
    highPower_ = new wxCheckBox(this, kHighPower, " Enable High Power Supply");
    column->Add(highPower_, 0, wxALL, 6);

    spdif_->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) {
        page_.SpdifClicked(spdif_->GetValue());
        TakeState();
    });
    highPower_->Bind(wxEVT_CHECKBOX,
                     [this](wxCommandEvent&) { page_.HighPowerClicked(highPower_->GetValue()); });
}

void CEvbCfgDialog::TakeState() {
    const int arm = page_.TakeTimerRequest();
    if (arm >= 0)
        timer_.StartOnce(arm > 0 ? arm : 1);
    const EvbSettings s = page_.Settings();
    spdif_->SetValue(s.spdif);
    straps_->SetValue(s.straps);
    reset_->SetValue(s.reset);
    if (highPower_)
        highPower_->SetValue(s.highPower);
    if (!page_.IsQX410x())
        return;
    if (s.sdi0 >= 0 && s.sdi0 < 4)
        sources_[s.sdi0]->SetValue(true);
    muteAtPreset_->SetValue(s.muteAtPreset);
    amplifier_->SetValue(s.amplifier);
    if (volume_->GetValue() != s.volume)
        volume_->SetValue(s.volume);
    const EvbVolumeView v = page_.Volume();
    volume_->Enable(v.sliderEnabled);
    volumeLabel_->SetLabel(wxString::FromUTF8(v.label));
    volumeLabel_->Show(v.labelShown);
}

void CEvbCfgDialog::OnStatusTimer() {
    const int next = page_.StatusTimer(IsShown());
    if (next > 0)
        timer_.StartOnce(next);
}

} // namespace loggerui
