#include "loggerui/IoPage.h"

#include "loggerui/Dialogs.h"
#include "loggerui/IoConfig.h"
#include "loggerui/WxLogger.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/listbox.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

namespace loggerui {

namespace {

using namespace ioid;

void Fill(wxChoice* list, const std::vector<PinView::Item>& items, int selected) {
    list->Clear();
    for (const PinView::Item& item : items)
        list->Append(item.text, reinterpret_cast<void*>(static_cast<uintptr_t>(item.data)));
    if (selected >= 0)
        list->SetSelection(selected);
}

uint32_t SelectedData(wxChoice* list) {
    const int i = list->GetSelection();
    return i == wxNOT_FOUND ? 0
                            : static_cast<uint32_t>(reinterpret_cast<uintptr_t>(
                                  list->GetClientData(static_cast<unsigned>(i))));
}

} // namespace

CIoCfgDialog::CIoCfgDialog(WxLogger& logger) : logger_(logger) {}

bool CIoCfgDialog::Create(wxWindow* parent) {
    if (!wxDialog::Create(parent, kPage, "I/O Configuration"))
        return false;
    SetLibraryIcon(*this);
    auto* column = new wxStaticBoxSizer(wxVERTICAL, this, " I/O Settings");
    pins_ = new wxListBox(this, kPins, wxDefaultPosition, wxSize(180, 160));
    function_ = new wxChoice(this, kFunction);
    firstLabel_ = new wxStaticText(this, kFirstLabel, "Reference:");
    first_ = new wxChoice(this, kFirst);
    secondLabel_ = new wxStaticText(this, kSecondLabel, "Divider Value:");
    second_ = new wxChoice(this, kSecond);
    input_ = new wxTextCtrl(this, kInput, "", wxDefaultPosition, wxDefaultSize, wxTE_READONLY);
    auto* preset = new wxCheckBox(this, kPresetStage, " Config I/O at preset stage");
    preset->SetValue(logger_.IsChecked(kPresetStage));
    auto* update = new wxButton(this, kUpdateNow, "Update Now");
    update->Hide();
    auto* load = new wxButton(this, kLoad, "Load Current Setting");
    column->Add(pins_, 1, wxEXPAND | wxALL, 2);
    column->Add(new wxStaticText(this, wxID_ANY, "Function:"), 0, wxALL, 2);
    column->Add(function_, 0, wxEXPAND | wxALL, 2);
    column->Add(firstLabel_, 0, wxALL, 2);
    column->Add(first_, 0, wxEXPAND | wxALL, 2);
    column->Add(secondLabel_, 0, wxALL, 2);
    column->Add(second_, 0, wxEXPAND | wxALL, 2);
    column->Add(new wxStaticText(this, wxID_ANY, "Input Value: "), 0, wxALL, 2);
    column->Add(input_, 0, wxEXPAND | wxALL, 2);
    column->Add(preset, 0, wxALL, 2);
    column->Add(update, 0, wxALL, 2);
    column->Add(load, 0, wxALL, 2);
    SetSizerAndFit(column);

    pins_->Bind(wxEVT_LISTBOX, [this](wxCommandEvent&) { SelectionChanged(); });
    function_->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) {
        if (function_->GetSelection() == wxNOT_FOUND)
            return;
        const int function = static_cast<int>(SelectedData(function_));
        Change([&](IoImages& m) { ChooseFunction(m, row_, function); });
    });
    for (wxChoice* list : {first_, second_})
        list->Bind(wxEVT_CHOICE, [this, list](wxCommandEvent&) {
            const uint32_t item = SelectedData(list);
            Change([&](IoImages& m) { ChooseSetting(m, row_, item); });
        });
    preset->Bind(wxEVT_CHECKBOX, [this, preset](wxCommandEvent&) {
        logger_.Settings().SetChecked(kPresetStage, preset->GetValue());
    });
    update->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        ApplyIoImages(logger_.Bus(), logger_.Pages().io.Images());
        SelectionChanged();
    });
    load->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        IoImages m = logger_.Pages().io.Images();
        LoadIoImages(logger_.Bus(), m, logger_.IsChecked(busgate::ctl::kConfigPwrAmpAtPreset));
        logger_.Pages().io.SetImages(m);
        SelectionChanged();
    });
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { Hide(); });
    return true;
}

void CIoCfgDialog::FillPins() {
    pins_->Clear();
    for (int row : PinRowsFor(logger_.Pages().io.Images().chipType))
        pins_->Append(PinEntry(row), reinterpret_cast<void*>(static_cast<intptr_t>(row)));
    if (pins_->GetCount() > 0)
        pins_->SetSelection(0);
    TakeSelectedRow();
    ShowPin();
}

void CIoCfgDialog::TakeSelectedRow() {
    const int selected = pins_->GetSelection();
    if (selected != wxNOT_FOUND)
        row_ = static_cast<int>(
            reinterpret_cast<intptr_t>(pins_->GetClientData(static_cast<unsigned>(selected))));
}

void CIoCfgDialog::SelectionChanged() {
    TakeSelectedRow();
    IoImages m = logger_.Pages().io.Images();
    if (ReadIoInput(logger_.Bus(), m))
        logger_.Pages().io.SetImages(m);
    Refresh();
}

void CIoCfgDialog::Change(const std::function<void(IoImages&)>& change) {
    IoImages m = logger_.Pages().io.Images();
    change(m);
    logger_.Pages().io.SetImages(m);
    SelectionChanged();
}

void CIoCfgDialog::Refresh() {
    ShowPin();
    ApplyIoImages(logger_.Bus(), logger_.Pages().io.Images());
}

void CIoCfgDialog::ShowPin() {
    const IoImages m = logger_.Pages().io.Images();
    const PinView view = ViewOf(m, row_);
    Fill(function_, view.functions, view.functionSelected);
    firstLabel_->Show(view.firstShown);
    first_->Show(view.firstShown);
    secondLabel_->Show(view.secondShown);
    second_->Show(view.secondShown);
    firstLabel_->SetLabel(view.firstLabel);
    secondLabel_->SetLabel(view.secondLabel);
    Fill(first_, view.first, view.firstSelected);
    Fill(second_, view.second, view.secondSelected);
    input_->ChangeValue(view.input);
    Layout();
}

} // namespace loggerui
