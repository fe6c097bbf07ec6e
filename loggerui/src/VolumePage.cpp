#include "loggerui/VolumePage.h"

#include "busaccess/busgate/FilterLog.h"
#include "busaccess/busgate/TraceSink.h"
#include "foundation/kvFMDialogs.h"
#include "loggerui/Dialogs.h"
#include "loggerui/WxLogger.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/choice.h>
#include <wx/sizer.h>
#include <wx/slider.h>
#include <wx/spinbutt.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

namespace loggerui {

namespace {

using namespace volumeid;

wxSizer* Labelled(wxWindow* parent, const char* label, wxWindow* a, wxWindow* b = nullptr) {
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(new wxStaticText(parent, wxID_ANY, label, wxDefaultPosition, wxSize(110, -1)), 0,
             wxALIGN_CENTER_VERTICAL);
    row->Add(a, 1, wxEXPAND | wxRIGHT, 4);
    if (b)
        row->Add(b, 0);
    return row;
}

} // namespace

CVolumeControl_Dialog::CVolumeControl_Dialog(WxLogger& logger, VolumeService& service)
    : logger_(logger), service_(service) {
    busgate::TraceWrite("CVolumeControl_Dialog()");
}

bool CVolumeControl_Dialog::Create(wxWindow* parent) {
    if (!wxDialog::Create(parent, kPage, "Volume Control"))
        return false;
    SetLibraryIcon(*this);
    Build();
    service_.SetInterval(10);
    service_.RecomputeCurve();
    Refresh();
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { Cancel(); });
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& event) {
        if (event.GetKeyCode() == WXK_ESCAPE)
            Cancel();
        else
            event.Skip();
    });
    return true;
}

void CVolumeControl_Dialog::Build() {
    auto* top = new wxBoxSizer(wxVERTICAL);
    load_ = new wxButton(this, kLoadCurve, "Load Volume Curve");
    top->Add(load_, 0, wxALL, 3);
    mode_ = new wxChoice(this, kMode);
    for (const VolumeTarget& target : kVolumeTargets)
        mode_->Append(target.text, reinterpret_cast<void*>(static_cast<intptr_t>(target.data)));
    mode_->SetSelection(0);
    top->Add(Labelled(this, "Mode: ", mode_), 0, wxEXPAND | wxALL, 3);
    current_ =
        new wxTextCtrl(this, kCurrent, "", wxDefaultPosition, wxSize(140, -1), wxTE_READONLY);
    upDown_ = new wxSpinButton(this, kUpDown, wxDefaultPosition, wxDefaultSize, wxSP_HORIZONTAL);
    top->Add(Labelled(this, "Current Volume: ", current_, upDown_), 0, wxEXPAND | wxALL, 3);

    auto* sweep = new wxStaticBoxSizer(wxVERTICAL, this, " Volume Sweep ");
    start_ = new wxSlider(this, kStartSlider, 0, 0, 99);
    startEdit_ =
        new wxTextCtrl(this, kStartEdit, "", wxDefaultPosition, wxSize(90, -1), wxTE_READONLY);
    end_ = new wxSlider(this, kEndSlider, 99, 0, 99);
    endEdit_ = new wxTextCtrl(this, kEndEdit, "", wxDefaultPosition, wxSize(90, -1), wxTE_READONLY);
    interval_ = new wxSlider(this, kIntervalSlider, 10, 3, 20);
    intervalEdit_ =
        new wxTextCtrl(this, kIntervalEdit, "", wxDefaultPosition, wxSize(90, -1), wxTE_READONLY);
    for (wxSlider* slider : {start_, end_, interval_}) {
        slider->SetLineSize(1);
        slider->SetPageSize(1);
    }
    sweep->Add(Labelled(this, "Start Volume: ", start_, startEdit_), 0, wxEXPAND | wxALL, 2);
    sweep->Add(Labelled(this, "End Volume: ", end_, endEdit_), 0, wxEXPAND | wxALL, 2);
    sweep->Add(Labelled(this, "Step Interval: ", interval_, intervalEdit_), 0, wxEXPAND | wxALL, 2);
    run_ = new wxButton(this, kRunSweep, "Run Sweep");
    status_ = new wxStaticText(this, kStatus, "", wxDefaultPosition, wxSize(200, -1));
    auto* runRow = new wxBoxSizer(wxHORIZONTAL);
    runRow->Add(run_, 0, wxRIGHT, 6);
    runRow->Add(status_, 1, wxALIGN_CENTER_VERTICAL);
    sweep->Add(runRow, 0, wxEXPAND | wxALL, 2);
    top->Add(sweep, 0, wxEXPAND | wxALL, 3);
    SetSizerAndFit(top);

    mode_->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) {
        const int i = mode_->GetSelection();
        if (i == wxNOT_FOUND)
            return;
        service_.SelectTarget(static_cast<int>(
            reinterpret_cast<intptr_t>(mode_->GetClientData(static_cast<unsigned>(i)))));
        Refresh();
    });
    start_->Bind(wxEVT_SLIDER, [this](wxCommandEvent&) {
        service_.SetStartStep(static_cast<uint16_t>(start_->GetValue()));
        Refresh();
    });
    end_->Bind(wxEVT_SLIDER, [this](wxCommandEvent&) {
        service_.SetEndStep(static_cast<uint16_t>(end_->GetValue()));
        Refresh();
    });
    interval_->Bind(wxEVT_SLIDER, [this](wxCommandEvent&) {
        service_.SetInterval(static_cast<uint16_t>(interval_->GetValue()));
        Refresh();
    });
    upDown_->Bind(wxEVT_SPIN, [this](wxSpinEvent& event) {
        service_.StepTo(static_cast<uint16_t>(event.GetPosition()));
        Refresh();
    });
    run_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { RunSweep(); });
    load_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { LoadCurve(); });
}

void CVolumeControl_Dialog::Refresh() {
    const int last = static_cast<int>(service_.StepCount() > 0 ? service_.StepCount() - 1 : 0);
    current_->ChangeValue(service_.CurrentText());
    for (wxSlider* slider : {start_, end_})
        if (slider->GetMax() != last)
            slider->SetRange(0, last);
    upDown_->SetRange(0, last);
    upDown_->SetValue(service_.CurrentStep());
    start_->SetValue(service_.StartStep());
    end_->SetValue(service_.EndStep());
    startEdit_->ChangeValue(service_.StepText(service_.StartStep()));
    endEdit_->ChangeValue(service_.StepText(service_.EndStep()));
    interval_->SetValue(service_.Interval());
    intervalEdit_->ChangeValue(
        busgate::FormatC(32, "%u msec", static_cast<unsigned>(service_.Interval()) * 10));
}

void CVolumeControl_Dialog::RunSweep() {
    if (service_.Sweeping()) {
        service_.RunSweep(nullptr); // ends the running one
        return;
    }
    if (logger_.Bus().State().ready != 1)
        return;
    wxWindow* locked[] = {start_, end_, interval_, upDown_, mode_, load_};
    for (wxWindow* w : locked)
        w->Disable();
    status_->SetLabel("Running...");
    run_->SetLabel("Stop Sweep");
    const double seconds = service_.RunSweep([this] {
        current_->ChangeValue(service_.CurrentText());
        if (wxTheApp)
            wxTheApp->Yield(true);
    });
    upDown_->SetValue(service_.CurrentStep());
    if (seconds >= 0)
        status_->SetLabel(busgate::FormatC(64, "Sweep time: %.2f sec", seconds));
    for (wxWindow* w : locked)
        w->Enable();
    run_->SetLabel("Run Sweep");
    Refresh();
}

void CVolumeControl_Dialog::LoadCurve() {
    kvFM::KCDialogCreationOptions options;
    options.title = "Load curve from file";
    options.flags = kvFM::eDialogSelectFile;
    KCFileType type;
    type.description = "Curve Files (*.txt)";
    type.extension = ".txt";
    options.fileTypes = {type};
    kvFM::KCDialogReply reply;
    if (kvFM::SelectFileSystemObjectDialog(options, reply) != eNoErr || !reply.chosen)
        return;
    service_.LoadCurveFile(reply.path.GetPosixPathString());
    Refresh();
}

void CVolumeControl_Dialog::Cancel() {
    service_.RestoreTarget();
    Hide();
}

} // namespace loggerui
