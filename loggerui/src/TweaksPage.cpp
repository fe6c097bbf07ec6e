#include "loggerui/TweaksPage.h"

#include "busaccess/busgate/FilterLog.h"
#include "busaccess/busgate/LoggerServices.h"
#include "loggerui/Dialogs.h"
#include "loggerui/WxLogger.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/dcclient.h>
#include <wx/sizer.h>
#include <wx/slider.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <cmath>
#include <cstdlib>

namespace loggerui {

namespace {

using namespace tweaksid;

wxColour FromColourRef(uint32_t c) {
    return wxColour(static_cast<unsigned char>(c & 0xFF), static_cast<unsigned char>(c >> 8),
                    static_cast<unsigned char>(c >> 16));
}

// The text of an edit as a number, as the C library reads one.
double NumberOf(const wxTextCtrl* edit) {
    return std::strtod(edit->GetValue().utf8_str().data(), nullptr);
}

void SetUnlessFocused(wxTextCtrl* edit, const std::string& text) {
    if (wxWindow::FindFocus() != edit && edit->GetValue() != wxString::FromUTF8(text))
        edit->ChangeValue(wxString::FromUTF8(text));
}

std::string Format(const char* format, double value) {
    return busgate::FormatC(64, format, value);
}

uint32_t ItemData(const wxChoice* list) {
    const int i = list->GetSelection();
    return i == wxNOT_FOUND ? 0
                            : static_cast<uint32_t>(reinterpret_cast<uintptr_t>(
                                  list->GetClientData(static_cast<unsigned>(i))));
}

void Append(wxChoice* list, const char* text, uint32_t data) {
    list->Append(text, reinterpret_cast<void*>(static_cast<uintptr_t>(data)));
}

// The SRC preset box's notes are shown once each in the process.
bool g_srcCheckedNoted = false;
bool g_srcUncheckedNoted = false;

} // namespace

MeterBar::MeterBar(wxWindow* parent, int id)
    : wxControl(parent, id, wxDefaultPosition, wxSize(200, 14), wxBORDER_SUNKEN) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &MeterBar::OnPaint, this);
}

void MeterBar::SetLevel(int position, uint32_t colourRef) {
    position_ = position;
    colour_ = colourRef;
    Refresh(false);
}

void MeterBar::OnPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    const wxSize size = GetClientSize();
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(GetBackgroundColour()));
    dc.DrawRectangle(0, 0, size.x, size.y);
    const int filled = size.x * std::clamp(position_, 0, 1030) / 1030;
    dc.SetBrush(wxBrush(FromColourRef(colour_)));
    dc.DrawRectangle(0, 0, filled, size.y);
}

CTweaks_Dialog::CTweaks_Dialog(WxLogger& logger, TweaksService& service)
    : logger_(logger), service_(service) {}

bool CTweaks_Dialog::Create(wxWindow* parent) {
    if (!wxDialog::Create(parent, kPage, " Tweaks"))
        return false;
    SetLibraryIcon(*this);
    meterTimer_.SetOwner(this, TweaksService::kMeterTimer);
    readyTimer_.SetOwner(this, TweaksService::kReadyTimer);
    Bind(wxEVT_TIMER, [this](wxTimerEvent& event) {
        const int ms = event.GetId() == TweaksService::kMeterTimer ? service_.MeterTimer()
                                                                   : service_.ReadyTimer();
        Arm(event.GetId(), ms);
    });
    Build();
    // Starts with the tweaks off, the volumes at 0 dB and x1.
    logger_.Settings().SetChecked(kTweaksPreset, false);
    service_.EnableTweaks(false);
    service_.SetLinearVolume(Channel::Left, 0.0);
    service_.SetLinearVolume(Channel::Right, 0.0);
    Refresh();
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { Hide(); });
    return true;
}

void CTweaks_Dialog::Build() {
    auto* top = new wxBoxSizer(wxVERTICAL);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    button_ = new wxButton(this, kButton, "Enable Tweaks");
    row->Add(button_, 0, wxALL, 3);
    row->Add(new wxStaticText(this, wxID_ANY, "NOTE: Tweaking is disabled after soft-reset."), 0,
             wxALL | wxALIGN_CENTER_VERTICAL, 3);
    top->Add(row);
    tweaksPreset_ =
        new wxCheckBox(this, kTweaksPreset, " Enable and config Tweaks at preset stage.");
    top->Add(tweaksPreset_, 0, wxALL, 3);

    // Linear volume.
    auto* linear = new wxStaticBoxSizer(wxVERTICAL, this, " Linear  Volume ");
    linearBox_ = new wxCheckBox(this, kLinearBox, " Enable Linear Volume");
    linear->Add(linearBox_, 0, wxALL, 2);
    auto* grid = new wxFlexGridSizer(3, 2, 2);
    grid->AddGrowableCol(1);
    mainSlider_ = new wxSlider(this, kMainSlider, 1000, 0, 1030);
    subSlider_ = new wxSlider(this, kSubSlider, 1000, 0, 1030);
    mainEdit_ = new wxTextCtrl(this, kMainEdit, "", wxDefaultPosition, wxSize(90, -1));
    subEdit_ = new wxTextCtrl(this, kSubEdit, "", wxDefaultPosition, wxSize(90, -1));
    for (auto [label, slider, edit] : {std::tuple{"Main: ", mainSlider_, mainEdit_},
                                       std::tuple{"Sub: ", subSlider_, subEdit_}}) {
        slider->SetLineSize(1);
        slider->SetPageSize(10);
        grid->Add(new wxStaticText(this, wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL);
        grid->Add(slider, 1, wxEXPAND);
        grid->Add(edit);
    }
    linear->Add(grid, 0, wxEXPAND);
    top->Add(linear, 0, wxEXPAND | wxALL, 3);

    // Sample-rate converter.
    auto* src = new wxStaticBoxSizer(wxVERTICAL, this, "Sample Rate Converter (SRC)");
    srcPreset_ = new wxCheckBox(this, kSrcPreset, " Config SRC and PLL at preset stage.");
    src->Add(srcPreset_, 0, wxALL, 2);
    src->Add(new wxStaticText(this, wxID_ANY,
                              "Select the ratio between digital input/output sample rate and DSP "
                              "processing sample rate (i.e. 48KHz or 44.1KHZ): "),
             0, wxALL, 2);
    srcRatio_ = new wxChoice(this, kSrcRatio);
    Append(srcRatio_, "x1 (48KHz, 44.1KHz)", 1);
    Append(srcRatio_, "x2 (96KHz, 88.2KHz)", 2);
    Append(srcRatio_, "x4 (192KHz, 176.4KHZ)", 4);
    srcRatio_->SetSelection(0);
    src->Add(srcRatio_, 0, wxALL, 2);
    top->Add(src, 0, wxEXPAND | wxALL, 3);

    // Tone generator.
    auto* tone = new wxStaticBoxSizer(wxVERTICAL, this, " Tone Generator ");
    auto* toneRow = new wxBoxSizer(wxHORIZONTAL);
    toneBox_ = new wxCheckBox(this, kToneBox, " Enable Tone Generator");
    toneRow->Add(toneBox_, 0, wxALL, 2);
    toneRow->Add(new wxStaticText(this, wxID_ANY, "Sample Rate: "), 0, wxALIGN_CENTER_VERTICAL);
    sampleRate_ = new wxChoice(this, kSampleRate);
    Append(sampleRate_, "48 KHz", 48000);
    Append(sampleRate_, "44.1 KHz", 44100);
    sampleRate_->SetSelection(0);
    toneRow->Add(sampleRate_);
    tone->Add(toneRow);
    auto* channels = new wxBoxSizer(wxHORIZONTAL);
    const int freqEdits[2] = {kLeftFreqEdit, kRightFreqEdit};
    const int freqSliders[2] = {kLeftFreqSlider, kRightFreqSlider};
    const int levelEdits[2] = {kLeftLevelEdit, kRightLevelEdit};
    const int levelSliders[2] = {kLeftLevelSlider, kRightLevelSlider};
    for (int c = 0; c < 2; ++c) {
        auto* box = new wxStaticBoxSizer(wxVERTICAL, this, c == 0 ? " Left " : " Right ");
        auto* g = new wxFlexGridSizer(3, 2, 2);
        freqSliders_[c] = new wxSlider(this, freqSliders[c], 0, 0, 100);
        freqEdits_[c] = new wxTextCtrl(this, freqEdits[c], "", wxDefaultPosition, wxSize(100, -1));
        levelSliders_[c] = new wxSlider(this, levelSliders[c], 1000, 0, 1030);
        levelEdits_[c] =
            new wxTextCtrl(this, levelEdits[c], "", wxDefaultPosition, wxSize(100, -1));
        freqSliders_[c]->SetPageSize(10);
        levelSliders_[c]->SetPageSize(10);
        g->Add(new wxStaticText(this, wxID_ANY, "Freq: "));
        g->Add(freqSliders_[c]);
        g->Add(freqEdits_[c]);
        g->Add(new wxStaticText(this, wxID_ANY, "Level: "));
        g->Add(levelSliders_[c]);
        g->Add(levelEdits_[c]);
        if (c == 1) {
            phaseSlider_ = new wxSlider(this, kPhaseSlider, 0, 0, 383);
            phaseEdit_ = new wxTextCtrl(this, kPhaseEdit, "", wxDefaultPosition, wxSize(100, -1),
                                        wxTE_READONLY);
            g->Add(new wxStaticText(this, wxID_ANY, "Phase: "));
            g->Add(phaseSlider_);
            g->Add(phaseEdit_);
        }
        box->Add(g);
        channels->Add(box, 0, wxALL, 2);
    }
    tone->Add(channels);
    top->Add(tone, 0, wxEXPAND | wxALL, 3);

    // Level meters.
    auto* meters = new wxStaticBoxSizer(wxVERTICAL, this, "  Peak Level Measurements ");
    auto* meterRow = new wxBoxSizer(wxHORIZONTAL);
    levelBox_ = new wxCheckBox(this, kLevelBox, " Enable Level Measurments");
    meterRow->Add(levelBox_, 0, wxALL, 2);
    meterRow->Add(new wxStaticText(this, wxID_ANY, "Update Rate: "), 0, wxALIGN_CENTER_VERTICAL);
    updateRate_ = new wxChoice(this, kUpdateRate);
    for (auto [text, ms] :
         {std::pair{"10 msec", 10}, std::pair{"200 msec", 200}, std::pair{"500 msec", 500},
          std::pair{"1 sec", 1000}, std::pair{"5 sec", 5000}})
        Append(updateRate_, text, static_cast<uint32_t>(ms));
    updateRate_->SetSelection(1);
    meterRow->Add(updateRate_);
    meters->Add(meterRow);
    const char* const labels[kMeters] = {"Left:", "Right:", "Left:", "Right:", "Sub:"};
    wxStaticBoxSizer* group = nullptr;
    for (int i = 0; i < kMeters; ++i) {
        if (i == 0 || i == 2) {
            group = new wxStaticBoxSizer(wxVERTICAL, this,
                                         i == 0 ? " Pre-Processing ( After Input Mixer ) "
                                                : " Post - Processing ( Before Output Mixer ) ");
            meters->Add(group, 0, wxEXPAND | wxALL, 2);
        }
        auto* line = new wxBoxSizer(wxHORIZONTAL);
        bars_[i] = new MeterBar(this, kMeterBars[i]);
        meterTexts_[i] = new wxTextCtrl(this, kMeterTexts[i], " --- ", wxDefaultPosition,
                                        wxSize(100, -1), wxTE_READONLY);
        line->Add(new wxStaticText(this, wxID_ANY, labels[i]), 0, wxALIGN_CENTER_VERTICAL);
        line->Add(bars_[i], 1, wxALIGN_CENTER_VERTICAL | wxALL, 2);
        line->Add(meterTexts_[i]);
        group->Add(line, 0, wxEXPAND);
    }
    top->Add(meters, 0, wxEXPAND | wxALL, 3);
    SetSizerAndFit(top);

    // Actions.
    button_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { service_.ToggleTweaks(); });
    tweaksPreset_->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) {
        logger_.Settings().SetChecked(kTweaksPreset, tweaksPreset_->GetValue());
    });
    srcPreset_->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) { OnSrcPreset(); });
    srcRatio_->Bind(wxEVT_CHOICE,
                    [this](wxCommandEvent&) { service_.SetSrcRatio(ItemData(srcRatio_)); });
    linearBox_->Bind(wxEVT_CHECKBOX,
                     [this](wxCommandEvent&) { service_.SetLinearBox(linearBox_->GetValue()); });
    toneBox_->Bind(wxEVT_CHECKBOX,
                   [this](wxCommandEvent&) { service_.SetToneBox(toneBox_->GetValue()); });
    levelBox_->Bind(wxEVT_CHECKBOX,
                    [this](wxCommandEvent&) { service_.SetLevelBox(levelBox_->GetValue()); });
    sampleRate_->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) {
        service_.SetSampleRate(static_cast<uint16_t>(ItemData(sampleRate_)));
    });
    updateRate_->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) {
        service_.SetUpdateInterval(static_cast<uint16_t>(ItemData(updateRate_)));
    });
    // Sliders apply their position whenever it changed (tracking, the end
    // of a drag, keys and page clicks alike).
    for (auto [slider, channel] :
         {std::pair{mainSlider_, Channel::Left}, std::pair{subSlider_, Channel::Right}})
        slider->Bind(wxEVT_SLIDER, [this, slider, channel](wxCommandEvent&) {
            const double level = LinearVolumeOfSlider(slider->GetValue());
            const TweaksState s = service_.Snapshot();
            if (level != (channel == Channel::Left ? s.mainVolume : s.subVolume))
                service_.SetLinearVolume(channel, level);
        });
    for (int c = 0; c < 2; ++c) {
        const Channel channel = c == 0 ? Channel::Left : Channel::Right;
        freqSliders_[c]->Bind(wxEVT_SLIDER, [this, c, channel](wxCommandEvent&) {
            service_.SetFrequencySlider(channel, freqSliders_[c]->GetValue());
        });
        levelSliders_[c]->Bind(wxEVT_SLIDER, [this, c, channel](wxCommandEvent&) {
            service_.SetLevelSlider(channel, levelSliders_[c]->GetValue());
        });
    }
    phaseSlider_->Bind(wxEVT_SLIDER,
                       [this](wxCommandEvent&) { service_.SetPhase(phaseSlider_->GetValue()); });
    for (wxTextCtrl* edit :
         {mainEdit_, subEdit_, freqEdits_[0], freqEdits_[1], levelEdits_[0], levelEdits_[1]}) {
        edit->Bind(wxEVT_SET_FOCUS, [this, edit](wxFocusEvent& event) {
            EditFocus(edit, true);
            event.Skip();
        });
        edit->Bind(wxEVT_KILL_FOCUS, [this, edit](wxFocusEvent& event) {
            EditFocus(edit, false);
            event.Skip();
        });
    }
}

void CTweaks_Dialog::EditFocus(wxTextCtrl* edit, bool gained) {
    const TweaksState s = service_.Snapshot();
    const int c = edit == freqEdits_[1] || edit == levelEdits_[1] || edit == subEdit_ ? 1 : 0;
    const Channel channel = c == 0 ? Channel::Left : Channel::Right;
    if (edit == mainEdit_ || edit == subEdit_) {
        if (gained)
            edit->ChangeValue(Format("%.1f", c == 0 ? s.mainVolume : s.subVolume));
        else
            service_.SetLinearVolume(channel, NumberOf(edit));
    } else if (edit == freqEdits_[c]) {
        if (gained)
            edit->ChangeValue(Format("%.2f", c == 0 ? s.leftFrequency : s.rightFrequency));
        else
            service_.SetFrequency(channel, NumberOf(edit));
    } else {
        if (gained)
            edit->ChangeValue(Format("%.1f", c == 0 ? s.leftLevel : s.rightLevel));
        else
            service_.SetLevel(channel, NumberOf(edit));
    }
    if (!gained) {
        // The stored value, also when the typed one was refused.
        CallAfter([this] { Refresh(); });
    }
}

void CTweaks_Dialog::OnSrcPreset() {
    const bool checked = srcPreset_->GetValue();
    logger_.Settings().SetChecked(kSrcPreset, checked);
    busaccess::MessageService& messages = logger_.Bus().Messages();
    if (checked && !g_srcCheckedNoted) {
        g_srcCheckedNoted = true;
        messages.showInformation(kSrcVerifyNote, "SRC");
    } else if (!checked && !g_srcUncheckedNoted) {
        g_srcUncheckedNoted = true;
        messages.showInformation(kSrcAfterResetNote, "SRC");
    }
    if (checked) {
        tweaksPreset_->SetValue(true);
        logger_.Settings().SetChecked(kTweaksPreset, true);
    }
}

void CTweaks_Dialog::Arm(int timer, int ms) {
    wxTimer& t = timer == TweaksService::kMeterTimer ? meterTimer_ : readyTimer_;
    if (ms < 0)
        t.Stop();
    else
        t.Start(std::max(ms, 1));
}

bool CTweaks_Dialog::TimerRunning(int timer) const {
    return (timer == TweaksService::kMeterTimer ? meterTimer_ : readyTimer_).IsRunning();
}

void CTweaks_Dialog::Refresh() {
    const TweaksState s = service_.Snapshot();
    if (button_->GetLabel() != s.button)
        button_->SetLabel(s.button);
    button_->Enable(s.buttonEnabled);
    srcRatio_->Enable(s.srcControls);
    srcPreset_->Enable(s.srcControls);
    const bool srcChecked = logger_.IsChecked(kSrcPreset);
    if (srcPreset_->GetValue() != srcChecked)
        srcPreset_->SetValue(srcChecked);
    const bool tweaksChecked = logger_.IsChecked(kTweaksPreset);
    if (tweaksPreset_->GetValue() != tweaksChecked)
        tweaksPreset_->SetValue(tweaksChecked);

    SetUnlessFocused(mainEdit_, LinearVolumeText(s.mainVolume));
    SetUnlessFocused(subEdit_, LinearVolumeText(s.subVolume));
    mainSlider_->SetValue(LinearVolumeSlider(s.mainVolume));
    subSlider_->SetValue(LinearVolumeSlider(s.subVolume));

    const double freqs[2] = {s.leftFrequency, s.rightFrequency};
    const double levels[2] = {s.leftLevel, s.rightLevel};
    for (int c = 0; c < 2; ++c) {
        SetUnlessFocused(freqEdits_[c], Format("%.2f Hz", freqs[c]));
        SetUnlessFocused(levelEdits_[c], LevelText(levels[c]));
        freqSliders_[c]->SetValue(std::clamp(SliderOfFrequency(freqs[c]), 0, 100));
        levelSliders_[c]->SetValue(SliderOfLevel(levels[c]));
    }
    const int last = std::max<int>(static_cast<int>(s.rightTable.size()) - 1, 0);
    if (phaseSlider_->GetMax() != last)
        phaseSlider_->SetRange(0, last);
    phaseSlider_->SetValue(s.phase);
    phaseEdit_->ChangeValue(
        Format("%.2f Deg", PhaseDegrees(s.phase, s.sampleRate, s.rightFrequency)));

    for (int i = 0; i < kMeters; ++i) {
        const MeterView& m = s.meters[static_cast<std::size_t>(i)];
        if (bars_[i]->Position() != m.position || meterTexts_[i]->GetValue() != m.text) {
            bars_[i]->SetLevel(m.position, m.colour);
            meterTexts_[i]->ChangeValue(m.text);
        }
    }
}

} // namespace loggerui
