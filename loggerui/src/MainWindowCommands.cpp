#include "loggerui/MainWindowCommands.h"

#include "busaccess/busgate/CExport.h"
#include "loggerui/Dialogs.h"
#include "loggerui/IoPage.h"
#include "loggerui/MainCommands.h"
#include "loggerui/WxLogger.h"

#include <wx/bmpbuttn.h>
#include <wx/button.h>
#include <wx/choice.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/toplevel.h>
#include <wx/weakref.h>

#include <optional>
#include <vector>

namespace loggerui {

namespace {

constexpr int kDump = 1041;
constexpr int kErase = 1011;
constexpr int kCopy = 1061;
constexpr int kSave = 1065;
constexpr int kAeqButton = 1141;
constexpr int kGpiosButton = 1099;
constexpr int kTweaksButton = 1069;
constexpr int kVolumeButton = 1071;
constexpr int kScriptButton = 1347;

void ShowPage(wxWindow* page) {
    if (!page)
        return;
    page->Show();
    if (auto* frame = dynamic_cast<wxTopLevelWindow*>(page))
        frame->Iconize(false);
    page->Raise();
    page->SetFocus();
}

// The main window's buttons, off while an EEPROM operation runs. The
// operation keeps the windows painting but holds the user's input back;
// input that came meanwhile is dispatched while the buttons are still off,
// so none of it starts another operation.
class ButtonsOff {
public:
    explicit ButtonsOff(wxWindow& dialog) {
        Collect(dialog);
        for (wxButton* button : off_)
            button->Disable();
    }
    ~ButtonsOff() {
        DispatchOnly(wxEVT_CATEGORY_UI | wxEVT_CATEGORY_USER_INPUT);
        for (wxWeakRef<wxButton>& button : off_)
            if (button)
                button->Enable();
    }
    ButtonsOff(const ButtonsOff&) = delete;
    ButtonsOff& operator=(const ButtonsOff&) = delete;

private:
    void Collect(wxWindow& window) {
        for (wxWindow* child : window.GetChildren()) {
            auto* button = dynamic_cast<wxButton*>(child);
            if (button && button->IsEnabled())
                off_.emplace_back(button);
            Collect(*child);
        }
    }
    std::vector<wxWeakRef<wxButton>> off_;
};

uint32_t SelectedPreset(CMainDialog& dialog) {
    auto* presets = dynamic_cast<wxChoice*>(dialog.FindWindow(busgate::ctl::kPresetSelector));
    if (!presets || presets->GetSelection() == wxNOT_FOUND)
        return 0;
    return static_cast<uint32_t>(
        reinterpret_cast<intptr_t>(presets->GetClientData(presets->GetSelection())));
}

std::string PaneText(wxTextCtrl* pane) {
    return pane ? std::string(pane->GetValue().utf8_str()) : std::string();
}

// Shows a page, restored and with the focus.
void Present(wxWindow* page) {
    if (!page)
        return;
    page->Show();
    if (auto* top = dynamic_cast<wxTopLevelWindow*>(page))
        top->Iconize(false);
    page->Raise();
    page->SetFocus();
}

template <typename Handler>
void OnButton(CMainDialog& dialog, int id, Handler handler) {
    dialog.Bind(
        wxEVT_BUTTON, [handler](wxCommandEvent&) { handler(); }, id);
}

// A command that the soft-reset reminder guards.
template <typename Handler>
void OnExportButton(CMainDialog& dialog, WxLogger& logger, int id, Handler handler) {
    OnButton(dialog, id, [&logger, handler] {
        if (logger.ConfirmExport())
            handler();
    });
}

} // namespace

CRotationDialog::CRotationDialog(wxWindow* parent, int currentRotation)
    : wxDialog(parent, 131, "Speaker Rotation State") {
    SetLibraryIcon(*this);
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(new wxStaticText(this, wxID_ANY, "Select speaker rotation state:"), 0, wxALL, 6);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    for (int i = 0; i < 4; ++i) {
        const RotationState& state = kRotationStates[static_cast<size_t>(i)];
        shown_[i] = state.result == currentRotation ? state.checkedBitmap : state.plainBitmap;
        wxBitmap picture = LibraryBitmap(shown_[i]);
        if (!picture.IsOk())
            picture = wxBitmap(90, 90);
        auto* button = new wxBitmapButton(this, state.button, picture);
        const int result = state.result;
        button->Bind(wxEVT_BUTTON, [this, result](wxCommandEvent&) { EndModal(result); });
        row->Add(button, 0, wxALL, 4);
    }
    column->Add(row, 0, wxALL, 4);
    column->Add(
        new wxStaticText(this, wxID_ANY,
                         "NOTE: Adjust 'MUTE TIME'  in the DulmDSP GUI for the best transition. "),
        0, wxALL, 6);
    SetSizerAndFit(column);
    SetEscapeId(wxID_CANCEL);
}

void RunRotation(WxLogger& logger, wxWindow* owner) {
    busgate::BusGate& bus = logger.Bus();
    switch (CheckRotationResources(bus)) {
    case RotationCheck::NotApplicable:
    case RotationCheck::ReadFailed:
        return;
    case RotationCheck::Occupied:
        bus.Messages().showError(kRotationOccupied, kRotationCaption);
        return;
    case RotationCheck::Free:
        break;
    }
    CRotationDialog dialog(owner, logger.Pages().rotation.current());
    const int result = dialog.ShowModal();
    if (ApplyRotation(bus, result))
        logger.Pages().rotation.setCurrent(result);
}

void BindMainCommands(CMainDialog& dialog, WxLogger& logger) {
    busgate::BusGate& bus = logger.Bus();
    OnButton(dialog, id::kLogButton, [&logger, &dialog] {
        const bool enable = !logger.LoggingEnabled();
        logger.SetLoggingEnabled(enable);
        if (wxWindow* button = dialog.FindWindow(id::kLogButton))
            button->SetLabel(enable ? "Disable Log" : "Enable Log");
    });
    OnButton(dialog, kCopy, [&dialog] {
        wxTextCtrl* pane = dialog.LogPane();
        pane->SelectAll();
        pane->Copy();
        pane->SetInsertionPointEnd();
    });
    OnButton(dialog, kSave, [&bus, &dialog] {
        SaveLogToFile(bus, PaneText(dialog.InfoPane()), PaneText(dialog.LogPane()));
    });
    OnExportButton(dialog, logger, id::kProgram, [&bus, &dialog] {
        std::optional<ButtonsOff> off;
        ProgramEeprom(bus, [&off, &dialog](bool enable) {
            if (!enable)
                off.emplace(dialog);
        });
    });
    OnExportButton(dialog, logger, kDump, [&bus, &dialog] {
        ButtonsOff off(dialog);
        DumpEeprom(bus);
    });
    OnButton(dialog, kErase, [&bus, &dialog] {
        ButtonsOff off(dialog);
        EraseEeprom(bus);
    });
    OnExportButton(dialog, logger, id::kExportC,
                   [&bus] { busgate::CExport2File::ExportCFiles(bus); });
    OnExportButton(dialog, logger, id::kExportBin, [&bus] { ExportCaptureBin(bus); });
    OnExportButton(dialog, logger, busgate::ctl::kProgramAll,
                   [&bus, &dialog] { ProgramAllPreset(bus, SelectedPreset(dialog)); });
    OnExportButton(dialog, logger, busgate::ctl::kProgramTuningOnly,
                   [&bus, &dialog] { ProgramTuningPreset(bus, SelectedPreset(dialog)); });
    OnButton(dialog, busgate::ctl::kFlashErase,
             [&bus, &dialog] { EraseFlashPreset(bus, SelectedPreset(dialog)); });
    OnButton(dialog, kAeqButton, [&logger] {
        if (wxWindow* page = logger.AeqPage()) {
            page->Show();
            page->Raise();
            page->SetFocus();
        }
    });
    OnButton(dialog, kGpiosButton, [&logger] {
        if (auto* page = static_cast<CIoCfgDialog*>(logger.IoPage())) {
            page->SelectionChanged();
            page->Show();
            page->Raise();
            page->SetFocus();
        }
    });
    OnButton(dialog, kTweaksButton, [&logger] { ShowPage(logger.TweaksPage()); });
    OnButton(dialog, kVolumeButton, [&logger] { ShowPage(logger.VolumePage(true)); });
    OnButton(dialog, kScriptButton, [&logger] { ShowPage(logger.ScriptPage()); });
    OnButton(dialog, busgate::ctl::kSpeakersRotation,
             [&logger, &dialog] { RunRotation(logger, &dialog); });
    OnButton(dialog, busgate::ctl::kEvbConfig, [&logger] { Present(logger.EvbWindow()); });
    OnButton(dialog, busgate::ctl::kPwmAndAmp, [&logger] { Present(logger.PwrAmpPage()); });
}

} // namespace loggerui
