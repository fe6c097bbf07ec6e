#include "loggerui/Dialogs.h"

#include "busaccess/busgate/LoggerServices.h"
#include "foundation/ElfRes.h"
#include "loggerui/WxLogger.h"

#include <wx/app.h>
#include <wx/apptrait.h>
#include <wx/artprov.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/evtloop.h>
#include <wx/image.h>
#include <wx/mstream.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/toplevel.h>

#include <dlfcn.h>
#include <memory>

namespace loggerui {

namespace {

namespace ctl = busgate::ctl;

// Bitmap numbers of the lamps, in the order of enum Lamp.
constexpr int kLampBitmaps[] = {124, 125, 126, 144};
constexpr int kIcon = 1001;
constexpr int kReminderPicture = 149;

struct ButtonSpec {
    int id;
    const char* caption;
};

const ButtonSpec kLogButtons[] = {{id::kClear, "Clear"},
                                  {1061, "Copy to Clipboard"},
                                  {1065, "Save to File..."},
                                  {id::kLogButton, "Disable Log"}};
const ButtonSpec kEepromButtons[] = {{id::kProgram, "Program"}, {1041, "Dump"}, {1011, "Erase"}};
const ButtonSpec kExportButtons[] = {{id::kExportC, "C/C++..."}, {id::kExportBin, "BIN..."}};
const ButtonSpec kFlashButtons[] = {{ctl::kProgramAll, "Program All"},
                                    {ctl::kFlashErase, "Erase"},
                                    {ctl::kProgramTuningOnly, "Program Tuning Only"}};
const ButtonSpec kExtendedButtons[] = {{ctl::kEvbConfig, "EVB Config..."},
                                       {ctl::kPwmAndAmp, "PWM and AMP"},
                                       {ctl::kSpeakersRotation, "Speakers Rotation..."},
                                       {1099, "GPIOs"},
                                       {1141, "AEQ"},
                                       {1069, "Tweaks..."},
                                       {1071, "Volume Sweep..."},
                                       {1347, "Script Helper..."}};

// The file this code was loaded from: the library, or a test program.
std::string ThisModule() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&LibraryBitmap), &info) || !info.dli_fname)
        return {};
    return info.dli_fname;
}

wxStaticBoxSizer* Group(wxWindow* parent, const char* caption, int orient = wxVERTICAL) {
    return new wxStaticBoxSizer(orient, parent, wxString::FromUTF8(caption));
}

template <std::size_t N>
void AddButtons(wxWindow* parent, wxSizer* sizer, const ButtonSpec (&buttons)[N]) {
    for (const ButtonSpec& b : buttons)
        sizer->Add(new wxButton(parent, b.id, wxString::FromUTF8(b.caption)), 0, wxALL | wxEXPAND,
                   2);
}

wxTextCtrl* NewPane(wxWindow* parent, int id, wxSize size) {
    auto* pane = new wxTextCtrl(parent, id, " ", wxDefaultPosition, size,
                                wxTE_MULTILINE | wxTE_READONLY | wxTE_RICH2 | wxVSCROLL);
    return pane;
}

} // namespace

wxBitmap LibraryBitmap(int number) {
    static const std::string module = ThisModule();
    std::unique_ptr<kvElfRes::Image> image;
    if (module.empty() || kvElfRes::Image::OpenFile(module, image) != 0)
        return wxBitmap();
    const kvElfRes::ResourceView* view = image->Find(
        kvElfRes::ResName::Name("PNG"), kvElfRes::ResName::Number(static_cast<uint16_t>(number)));
    const uint8_t* data = view ? image->Data(*view) : nullptr;
    if (!data)
        return wxBitmap();
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG))
        wxImage::AddHandler(new wxPNGHandler);
    wxMemoryInputStream stream(data, view->size);
    wxImage picture;
    if (!picture.LoadFile(stream, wxBITMAP_TYPE_PNG))
        return wxBitmap();
    return wxBitmap(picture);
}

void SetLibraryIcon(wxTopLevelWindow& window) {
    const wxBitmap icon = LibraryBitmap(kIcon);
    if (!icon.IsOk())
        return;
    wxIcon wxicon;
    wxicon.CopyFromBitmap(icon);
    window.SetIcon(wxicon);
}

void DispatchOnly(long categories) {
    if (!wxTheApp)
        return;
    wxEventLoopBase* loop = wxEventLoopBase::GetActive();
    std::unique_ptr<wxEventLoopBase> made;
    if (!loop) {
        made.reset(wxTheApp->GetTraits()->CreateEventLoop());
        loop = made.get();
    }
    if (loop)
        loop->YieldFor(categories);
}

// ---- main window

CMainDialog::CMainDialog(wxWindow* parent, WxLogger& logger)
    : wxDialog(parent, wxID_ANY, "DulmLogger (Ver x.x.x.x)", wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER | wxMINIMIZE_BOX),
      logger_(logger) {
    for (std::size_t i = 0; i < lamps_.size(); ++i)
        lamps_[i] = LibraryBitmap(kLampBitmaps[i]);
    for (int t = 1; t < static_cast<int>(timers_.size()); ++t)
        timers_[t].SetOwner(this, t);
    Bind(wxEVT_TIMER, &CMainDialog::OnTimer, this);
    Build();
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { logger_.OnMainCancel(); });
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { logger_.OnMainCancel(); }, wxID_CANCEL);
}

CMainDialog::~CMainDialog() {
    for (wxTimer& timer : timers_)
        timer.Stop();
}

void CMainDialog::Build() {
    auto* top = new wxBoxSizer(wxHORIZONTAL);

    // Left: the traffic pane with its controls.
    paneColumn_ = new wxBoxSizer(wxVERTICAL);
    wxStaticBoxSizer* logGroup = Group(this, "I2C Command Logger ");
    logPane_ = NewPane(logGroup->GetStaticBox(), id::kLogPane, wxSize(520, 380));
    logGroup->Add(logPane_, 1, wxALL | wxEXPAND, 2);
    auto* box =
        new wxCheckBox(logGroup->GetStaticBox(), ctl::kClearLogOnStart,
                       "Clear log window on Configuration Start (A5) and Soft Reset (C5) commands");
    logGroup->Add(box, 0, wxALL, 2);
    auto* logButtons = new wxBoxSizer(wxHORIZONTAL);
    AddButtons(logGroup->GetStaticBox(), logButtons, kLogButtons);
    logGroup->Add(logButtons, 0, wxALL, 0);
    paneColumn_->Add(logGroup, 1, wxALL | wxEXPAND, 4);
    top->Add(paneColumn_, 1, wxEXPAND);

    // Right: board information, lamp, exports and pages.
    auto* side = new wxBoxSizer(wxVERTICAL);
    wxStaticBoxSizer* info = Group(this, "   Board and Chip Info   ");
    infoPane_ = NewPane(info->GetStaticBox(), id::kInfoPane, wxSize(300, 150));
    info->Add(infoPane_, 1, wxALL | wxEXPAND, 2);
    auto* lampRow = new wxBoxSizer(wxHORIZONTAL);
    lamp_ = new wxStaticBitmap(info->GetStaticBox(), id::kLamp, lamps_[0], wxDefaultPosition,
                               wxSize(20, 20));
    lampRow->Add(lamp_, 0, wxALL | wxALIGN_CENTER_VERTICAL, 2);
    note_ = new wxStaticText(info->GetStaticBox(), id::kNote,
                             " NOTE:\n    Issue Soft Reset before exporting");
    note_->Enable(false); // until the chip reports its marker
    lampRow->Add(note_, 1, wxALL, 2);
    info->Add(lampRow, 0, wxEXPAND);
    side->Add(info, 1, wxALL | wxEXPAND, 4);

    wxStaticBoxSizer* eeprom = Group(this, " I2C EEPROM Device  ", wxHORIZONTAL);
    AddButtons(eeprom->GetStaticBox(), eeprom, kEepromButtons);
    side->Add(eeprom, 0, wxALL | wxEXPAND, 4);

    wxStaticBoxSizer* files = Group(this, " File Export ", wxHORIZONTAL);
    AddButtons(files->GetStaticBox(), files, kExportButtons);
    files->Add(new wxStaticText(files->GetStaticBox(), wxID_ANY, "Preset Size: "), 0,
               wxALL | wxALIGN_CENTER_VERTICAL, 2);
    files->Add(new wxTextCtrl(files->GetStaticBox(), id::kPresetSize, wxEmptyString,
                              wxDefaultPosition, wxSize(110, -1), wxTE_READONLY),
               1, wxALL, 2);
    side->Add(files, 0, wxALL | wxEXPAND, 4);

    wxStaticBoxSizer* flash = Group(this, " MK340 Flash", wxHORIZONTAL);
    flash->Add(new wxChoice(flash->GetStaticBox(), ctl::kPresetSelector), 0, wxALL, 2);
    AddButtons(flash->GetStaticBox(), flash, kFlashButtons);
    side->Add(flash, 0, wxALL | wxEXPAND, 4);

    wxStaticBoxSizer* extended = Group(this, " DulmAudio Chip Extended Settings");
    auto* grid = new wxGridSizer(2, 2, 2);
    AddButtons(extended->GetStaticBox(), grid, kExtendedButtons);
    extended->Add(grid, 0, wxEXPAND);
    side->Add(extended, 0, wxALL | wxEXPAND, 4);

    top->Add(side, 0, wxEXPAND);
    SetSizerAndFit(top);
}

void CMainDialog::ShowLamp(Lamp lamp) {
    shown_ = lamp;
    lamp_->SetBitmap(lamps_[static_cast<int>(lamp)]);
}

void CMainDialog::StartTimer(int timer, int milliseconds) {
    if (timer > 0 && timer < static_cast<int>(timers_.size()))
        timers_[timer].StartOnce(milliseconds > 0 ? milliseconds : 1);
}

void CMainDialog::StopTimer(int timer) {
    if (timer > 0 && timer < static_cast<int>(timers_.size()))
        timers_[timer].Stop();
}

bool CMainDialog::TimerRunning(int timer) const {
    return timer > 0 && timer < static_cast<int>(timers_.size()) && timers_[timer].IsRunning();
}

void CMainDialog::OnTimer(wxTimerEvent& event) {
    logger_.OnTimer(event.GetId());
}

// ---- reminder

CHintFigureDialog::CHintFigureDialog(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, "Reminder", wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE) {
    auto* top = new wxBoxSizer(wxVERTICAL);
    auto* question = new wxBoxSizer(wxHORIZONTAL);
    question->Add(
        new wxStaticBitmap(this, id::kReminderIcon,
                           wxArtProvider::GetBitmap(wxART_INFORMATION, wxART_MESSAGE_BOX)),
        0, wxALL, 6);
    question->Add(new wxStaticText(this, id::kReminderQuestion,
                                   "Do Soft-Reset first to reduce code size. Are you sure?"),
                  1, wxALL | wxALIGN_CENTER_VERTICAL, 6);
    top->Add(question, 0, wxEXPAND);
    top->Add(new wxStaticBitmap(this, id::kReminderPicture, LibraryBitmap(kReminderPicture),
                                wxDefaultPosition, wxSize(440, 161)),
             0, wxALL | wxALIGN_CENTER, 6);
    box_ = new wxCheckBox(this, id::kDontRemind, "Don't remind me before next start.");
    top->Add(box_, 0, wxALL, 6);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->Add(new wxButton(this, id::kReminderOk, "OK"), 0, wxALL, 4);
    buttons->Add(new wxButton(this, id::kReminderCancel, "Cancel"), 0, wxALL, 4);
    top->Add(buttons, 0, wxALIGN_RIGHT);
    SetSizerAndFit(top);
    SetEscapeId(id::kReminderCancel);
    SetAffirmativeId(id::kReminderOk);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Confirm(); }, id::kReminderOk);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Cancel(); }, id::kReminderCancel);
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { Cancel(); });
}

void CHintFigureDialog::Confirm() {
    Hide();
    result = kConfirmed;
    dontRemind = box_->GetValue();
}

void CHintFigureDialog::Cancel() {
    Hide();
    result = kCancelled;
    box_->SetValue(false);
}

} // namespace loggerui
