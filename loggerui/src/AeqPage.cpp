#include "loggerui/AeqPage.h"

#include "foundation/KCStFile.h"
#include "foundation/kvFMDialogs.h"
#include "loggerui/Dialogs.h"
#include "loggerui/MainCommands.h"
#include "loggerui/WxLogger.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/listbox.h>
#include <wx/radiobut.h>
#include <wx/sizer.h>
#include <wx/slider.h>
#include <wx/spinbutt.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <cstdio>
#include <optional>

namespace loggerui {

namespace {

using namespace aeqid;

std::string Text(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string TextOf(wxTextCtrl* edit) {
    return std::string(edit->GetValue().utf8_str());
}

constexpr const char* kAeqFilter = "Enter AEQ File Name (*.aeq)|*.aeq||";
constexpr const char* kAeqCfgFilter = "Enter AEQ Config File Name (*.AeqCfg)|*.AeqCfg||";

wxSizer* Labelled(wxWindow* parent, const char* label, wxWindow* a, wxWindow* b = nullptr) {
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(new wxStaticText(parent, wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    row->Add(a, 1, wxEXPAND);
    if (b)
        row->Add(b, 2, wxEXPAND | wxLEFT, 4);
    return row;
}

} // namespace

CAeqCfgDialog::CAeqCfgDialog(WxLogger& logger)
    : logger_(logger), records_(logger.Pages().aeq.Records()) {}

bool CAeqCfgDialog::Create(wxWindow* parent) {
    if (!wxDialog::Create(parent, kPage, "AEQ Filter Configuration"))
        return false;
    Build();
    RefreshList();
    Select(0);
    return true;
}

void CAeqCfgDialog::Build() {
    SetLibraryIcon(*this);
    auto* top = new wxBoxSizer(wxHORIZONTAL);
    auto* left = new wxBoxSizer(wxVERTICAL);
    left->Add(new wxStaticText(this, wxID_ANY, "SELECT Channel:"), 0, wxALL, 2);
    list_ = new wxListBox(this, kList, wxDefaultPosition, wxSize(140, 200));
    left->Add(list_, 1, wxEXPAND | wxALL, 2);
    top->Add(left, 0, wxEXPAND);

    auto* right = new wxBoxSizer(wxVERTICAL);
    enable_ = new wxCheckBox(this, kEnable, " Enable Selected AEQ Channel");
    designed_ = new wxRadioButton(this, kDesigned, "Using EQ Filter Parameters", wxDefaultPosition,
                                  wxDefaultSize, wxRB_GROUP);
    entered_ = new wxRadioButton(this, kEntered, "Using Bi-Quad Filter Coefficients");
    rate_ = new wxChoice(this, kRate);
    for (const char* label : kAeqRateLabels)
        rate_->Append(label);
    type_ = new wxChoice(this, kType);
    for (const char* label : kAeqTypeLabels)
        type_->Append(label);
    auto edit = [this](int id) {
        auto* e = new wxTextCtrl(this, id, "", wxDefaultPosition, wxDefaultSize);
        e->Bind(wxEVT_KILL_FOCUS, [this, id](wxFocusEvent& event) {
            event.Skip();
            OnEditDone(id);
        });
        return e;
    };
    freq_ = edit(kFreqEdit);
    gain_ = edit(kGainEdit);
    q_ = edit(kQEdit);
    freqSlider_ = new wxSlider(this, kFreqSlider, 0, 0, 400);
    gainSlider_ = new wxSlider(this, kGainSlider, 0, 0, 400);
    qSlider_ = new wxSlider(this, kQSlider, 0, 0, 1160);
    for (wxSlider* s : {freqSlider_, gainSlider_, qSlider_}) {
        s->SetLineSize(1);
        s->SetPageSize(10);
        s->Bind(wxEVT_SLIDER, [this, s](wxCommandEvent&) { OnScroll(s->GetId(), s->GetValue()); });
    }
    right->Add(enable_, 0, wxALL, 2);
    right->Add(designed_, 0, wxALL, 2);
    right->Add(Labelled(this, "Sample Rate: ", rate_), 0, wxEXPAND | wxALL, 2);
    right->Add(Labelled(this, "Type: ", type_), 0, wxEXPAND | wxALL, 2);
    right->Add(Labelled(this, "Freq: ", freq_, freqSlider_), 0, wxEXPAND | wxALL, 2);
    right->Add(Labelled(this, "Gain: ", gain_, gainSlider_), 0, wxEXPAND | wxALL, 2);
    right->Add(Labelled(this, "Q: ", q_, qSlider_), 0, wxEXPAND | wxALL, 2);
    right->Add(entered_, 0, wxALL, 2);
    const char* labels[5] = {"a0: ", "a1:", "a2 : ", "b1 : ", "b2 : "};
    for (int k = 0; k < 5; ++k) {
        coefficients_[k] = edit(kCoefficientEdits[k]);
        spins_[k] =
            new wxSpinButton(this, kSpins[k], wxDefaultPosition, wxDefaultSize, wxSP_HORIZONTAL);
        spins_[k]->SetRange(-8388608, 8388607);
        spins_[k]->Bind(wxEVT_SPIN, [this, k](wxSpinEvent& event) {
            OnScroll(kSpins[k], event.GetPosition());
        });
        coefficients_[k]->Bind(wxEVT_SET_FOCUS, [this, k](wxFocusEvent& event) {
            event.Skip();
            const double v = k < 3 ? FeedForwardValue(*(&Record().a0 + k), Record().shift)
                                   : FeedbackValue(k == 3 ? Record().b1 : Record().b2);
            coefficients_[k]->ChangeValue(Text("%.15f", v));
        });
        right->Add(Labelled(this, labels[k], coefficients_[k], spins_[k]), 0, wxEXPAND | wxALL, 2);
    }
    freq_->Bind(wxEVT_SET_FOCUS, [this](wxFocusEvent& event) {
        event.Skip();
        freq_->ChangeValue(std::to_string(Record().frequency));
    });
    gain_->Bind(wxEVT_SET_FOCUS, [this](wxFocusEvent& event) {
        event.Skip();
        gain_->ChangeValue(Text("%.1f", Record().gain));
    });
    auto* preset = new wxCheckBox(this, kPresetStage, " Configure AEQ at preset stage");
    onTheFly_ = new wxCheckBox(this, kOnTheFly, " Update DulmAudio device on-the-fly");
    right->Add(preset, 0, wxALL, 2);
    right->Add(onTheFly_, 0, wxALL, 2);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    for (auto [id, caption] :
         {std::pair{kExport, "Export to AEQ file"}, std::pair{kUpdateNow, "Update Now"},
          std::pair{kSave, "Save to File"}, std::pair{kLoad, "Load from File"}})
        buttons->Add(new wxButton(this, id, caption), 0, wxALL, 2);
    right->Add(buttons, 0, wxALL, 2);
    top->Add(right, 1, wxEXPAND | wxALL, 4);
    SetSizerAndFit(top);

    list_->Bind(wxEVT_LISTBOX, [this](wxCommandEvent&) { Select(list_->GetSelection()); });
    enable_->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) {
        Record().enabled = enable_->GetValue() ? 1 : 0;
        EnableControls();
        RefreshList();
        Commit(true);
    });
    designed_->Bind(wxEVT_RADIOBUTTON, [this](wxCommandEvent&) {
        if (Record().enabled && !Record().designed) {
            Record().designed = 1;
            ShowCurrent();
            RefreshList();
            Commit(true);
        } else {
            ShowCurrent();
        }
    });
    entered_->Bind(wxEVT_RADIOBUTTON, [this](wxCommandEvent&) {
        if (Record().enabled && Record().designed) {
            Record().designed = 0;
            EnableControls();
            RefreshList();
            Commit(false);
        } else {
            ShowCurrent();
        }
    });
    type_->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) {
        SetAeqType(Record(), static_cast<uint32_t>(type_->GetSelection()));
        ShowCurrent();
        RefreshList();
        Commit(true);
    });
    rate_->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) {
        for (AeqRecord& r : records_) {
            r.rate = static_cast<uint32_t>(rate_->GetSelection());
            if (r.designed)
                DesignBiquad(r);
        }
        ShowCurrent();
        Commit(true);
    });
    preset->Bind(wxEVT_CHECKBOX, [this, preset](wxCommandEvent&) {
        logger_.Settings().SetChecked(kPresetStage, preset->GetValue());
        if (preset->GetValue())
            logger_.Bus().Messages().showError(
                "To avoid doubly AEQ configuration, remove the aeq file from DulmDSP directory.",
                "AEQ");
    });
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Commit(false), logger_.AeqSendFilters(); },
        kUpdateNow);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Export(); }, kExport);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Save(); }, kSave);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Load(); }, kLoad);
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { Hide(); });
}

void CAeqCfgDialog::Commit(bool send) {
    logger_.Pages().aeq.SetRecords(records_);
    if (send && onTheFly_->GetValue())
        logger_.AeqSendFilters();
}

void CAeqCfgDialog::Select(int index) {
    if (index < 0 || index >= kAeqFilterCount)
        return;
    current_ = index;
    list_->SetSelection(index);
    ShowCurrent();
}

void CAeqCfgDialog::RefreshList() {
    list_->Freeze();
    if (list_->GetCount() != kAeqFilterCount) {
        list_->Clear();
        for (int i = 0; i < kAeqFilterCount; ++i)
            list_->Append(AeqListEntry(i, records_[static_cast<size_t>(i)]));
    } else {
        for (int i = 0; i < kAeqFilterCount; ++i)
            list_->SetString(static_cast<unsigned>(i),
                             AeqListEntry(i, records_[static_cast<size_t>(i)]));
    }
    list_->SetSelection(current_);
    list_->Thaw();
}

void CAeqCfgDialog::EnableControls() {
    const AeqRecord& r = Record();
    const bool parameters = r.enabled && r.designed;
    const bool entries = r.enabled && !r.designed;
    for (wxWindow* w :
         std::initializer_list<wxWindow*>{type_, rate_, freq_, freqSlider_, q_, qSlider_})
        w->Enable(parameters);
    const bool gain = parameters && r.type != kLowPass && r.type != kHighPass;
    gain_->Enable(gain);
    gainSlider_->Enable(gain);
    for (int k = 0; k < 5; ++k) {
        coefficients_[k]->Enable(entries);
        spins_[k]->Enable(entries);
    }
}

void CAeqCfgDialog::ShowParameters() {
    const AeqRecord& r = Record();
    if (r.type < kAeqTypeCount)
        type_->SetSelection(static_cast<int>(r.type));
    if (r.rate <= 1)
        rate_->SetSelection(static_cast<int>(r.rate));
    freq_->ChangeValue(std::to_string(r.frequency) + " Hz");
    gain_->ChangeValue(Text("%.1f dB", r.gain));
    q_->ChangeValue(Text("%.2f", r.q));
    freqSlider_->SetValue(PositionFromFrequency(r.frequency));
    gainSlider_->SetValue(PositionFromGain(r.gain));
    qSlider_->SetValue(PositionFromQ(r.q));
}

void CAeqCfgDialog::ShowCoefficients(bool usable) {
    const AeqRecord& r = Record();
    const int32_t mantissas[5] = {r.a0, r.a1, r.a2, r.b1, r.b2};
    for (int k = 0; k < 5; ++k) {
        coefficients_[k]->ChangeValue(usable ? AeqCoefficientText(r, k) : kAeqOutOfRange);
        spins_[k]->SetValue(mantissas[k]);
    }
}

void CAeqCfgDialog::ShowCurrent() {
    AeqRecord& r = Record();
    enable_->SetValue(r.enabled != 0);
    designed_->SetValue(r.designed != 0);
    entered_->SetValue(r.designed == 0);
    EnableControls();
    ShowParameters();
    const bool usable = r.designed ? DesignBiquad(r) : true;
    ShowCoefficients(usable);
}

void CAeqCfgDialog::OnEditDone(int id) {
    AeqRecord& r = Record();
    bool changed = false;
    if (id == kFreqEdit) {
        if (auto f = ParseAeqFrequency(TextOf(freq_)))
            r.frequency = *f, changed = true;
    } else if (id == kGainEdit) {
        if (auto g = ParseAeqGain(TextOf(gain_)))
            r.gain = *g, changed = true;
    } else if (id == kQEdit) {
        if (auto q = ParseAeqQ(TextOf(q_)))
            r.q = *q, changed = true;
    } else {
        for (int k = 0; k < 5; ++k)
            if (id == kCoefficientEdits[k])
                changed = SetAeqCoefficient(r, k, TextOf(coefficients_[k]));
        ShowCoefficients(true);
        Commit(changed);
        return;
    }
    ShowParameters();
    ShowCoefficients(r.designed ? DesignBiquad(r) : true);
    Commit(changed);
}

void CAeqCfgDialog::OnScroll(int id, int position) {
    AeqRecord& r = Record();
    if (id == kFreqSlider) {
        const uint16_t f = FrequencyFromPosition(position);
        if (f == r.frequency)
            return;
        r.frequency = f;
    } else if (id == kGainSlider) {
        const float g = GainFromPosition(position);
        if (g == r.gain)
            return;
        r.gain = g;
    } else if (id == kQSlider) {
        const float q = QFromPosition(position);
        if (q == r.q)
            return;
        r.q = q;
    } else {
        for (int k = 0; k < 5; ++k) {
            if (id != kSpins[k])
                continue;
            int32_t* m = k < 3 ? &r.a0 + k : (k == 3 ? &r.b1 : &r.b2);
            if (*m == position)
                return;
            *m = position;
        }
        ShowCoefficients(true);
        Commit(true);
        return;
    }
    ShowParameters();
    ShowCoefficients(r.designed ? DesignBiquad(r) : true);
    Commit(true);
}

void CAeqCfgDialog::Export() {
    busaccess::MessageService& messages = logger_.Bus().Messages();
    if (std::optional<std::string> refusal = AeqExportRefusal(records_)) {
        messages.showError(*refusal, "Export to AEQ file");
        return;
    }
    const std::string name = AeqProposedName(logger_.Bus().State().chipFirmwareVersion, records_);
    const std::optional<std::string> path =
        AskFilePath(true, FileDialogOptions("Export to AEQ File", name, ".aeq", kAeqFilter));
    if (!path)
        return;
    if (!WriteFileReplacing(*path, AeqFileText(records_)))
        messages.showError("Fail to open <" + *path + "> file for write.", "Export to AEQ file");
}

void CAeqCfgDialog::Save() {
    const std::optional<std::string> path = AskFilePath(
        true, FileDialogOptions("Save to File", "DulmLogger.AeqCfg", ".AeqCfg", kAeqCfgFilter));
    if (path && !WriteFileReplacing(*path, AeqCfgBytes(records_)))
        logger_.Bus().Messages().showError("Fail to open <" + *path + "> file for write.",
                                           "Save to file");
}

void CAeqCfgDialog::Load() {
    const std::optional<std::string> path = AskFilePath(
        false, FileDialogOptions("Load from File", "DulmLogger.AeqCfg", ".AeqCfg", kAeqCfgFilter));
    if (!path)
        return;
    std::string bytes;
    const std::optional<AeqRecords> records =
        kvFM::ReadRegularFile(*path, bytes) == eNoErr ? ParseAeqCfg(bytes) : std::nullopt;
    if (!records) {
        logger_.Bus().Messages().showError("Fail to open <" + *path + "> file for read.",
                                           "Load from file");
        return;
    }
    records_ = *records;
    ShowCurrent();
    RefreshList();
    Commit(false);
}

} // namespace loggerui
