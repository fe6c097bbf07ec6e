#include "plugin/EditorWindows.h"

#include "plugin/SettingsDialogs.h"

#include "foundation/kvFMWx.h"
#include "guilib/MessageService.h"
#include "plugin/GenericWindow.h"

#include <wx/app.h>
#include <wx/msgdlg.h>
// The generic box needs the toolkit's box declared first.
#include <wx/generic/msgdlgg.h>

#include <wx/thread.h>
#include <wx/weakref.h>
#include <wx/window.h>

#include <algorithm>
#include <vector>

// Without a running toolkit (an editor made headless) there are no windows:
// the dialogs end as cancelled and the command-list window is not made.
static bool ToolkitRunning() {
    return wxTheApp != nullptr;
}

namespace {

// The editors (their window services), most recent last, each with its
// frame window once it is known; the boxes raised while none has a frame;
// and the message handler that was in place before the first editor.
struct SMessageWindows {
    struct SEditor {
        CPeqWindowServices* services;
        wxWeakRef<wxWindow> frame; // null until known and once destroyed
    };
    struct SBox {
        std::string text, caption;
        KMMessageService::Kind kind;
    };
    std::vector<SEditor> editors;
    std::vector<SBox> waiting;
    KMMessageService::Handler previous;
};

SMessageWindows& MessageWindows() {
    static SMessageWindows windows;
    return windows;
}

wxWindow* NewestFrame() {
    const auto& editors = MessageWindows().editors;
    for (auto e = editors.rbegin(); e != editors.rend(); ++e)
        if (e->frame)
            return e->frame.get();
    return nullptr;
}

int ShowBoxOver(wxWindow* frame, const std::string& text, const std::string& caption,
                KMMessageService::Kind kind) {
    long style = wxOK | wxICON_INFORMATION;
    if (kind == KMMessageService::kError)
        style = wxOK | wxICON_ERROR;
    else if (kind == KMMessageService::kWarning)
        style = wxOK | wxICON_WARNING;
    else if (kind == KMMessageService::kYesNo)
        style = wxYES_NO | wxICON_QUESTION;
    wxGenericMessageDialog box(frame, TextToWx(text), TextToWx(caption), style | wxCENTRE);
    const int answer = box.ShowModal();
    if (kind == KMMessageService::kYesNo)
        return answer == wxID_YES ? KMMessageService::kYes : KMMessageService::kNo;
    return KMMessageService::kOK;
}

int ShowHeadless(const std::string& text, const std::string& caption, KMMessageService::Kind kind) {
    const SMessageWindows& windows = MessageWindows();
    return windows.previous                   ? windows.previous(text, caption, kind)
           : kind == KMMessageService::kYesNo ? KMMessageService::kNo
                                              : KMMessageService::kOK;
}

// Boxes are windows over the newest editor's frame. Before any editor has
// its frame a box waits for one (a question cannot wait: it stays
// headless); only the GUI thread shows windows.
int ShowMessageWindow(const std::string& text, const std::string& caption,
                      KMMessageService::Kind kind) {
    if (!ToolkitRunning() || !wxIsMainThread())
        return ShowHeadless(text, caption, kind);
    if (wxWindow* frame = NewestFrame())
        return ShowBoxOver(frame, text, caption, kind);
    if (kind == KMMessageService::kYesNo)
        return ShowHeadless(text, caption, kind);
    MessageWindows().waiting.push_back({text, caption, kind});
    return KMMessageService::kOK;
}

// Shows the boxes that waited, over the frame that now exists, once the
// toolkit is back in its loop.
void ShowWaitingBoxes() {
    wxTheApp->CallAfter([] {
        SMessageWindows& windows = MessageWindows();
        while (!windows.waiting.empty()) {
            wxWindow* frame = NewestFrame();
            if (!frame)
                return;
            const SMessageWindows::SBox box = windows.waiting.front();
            windows.waiting.erase(windows.waiting.begin());
            ShowBoxOver(frame, box.text, box.caption, box.kind);
        }
    });
}

// The editor becomes the newest, with `frame` (null: none yet, or no longer).
void RememberMessageWindow(CPeqWindowServices* editor, wxWindow* frame) {
    SMessageWindows& windows = MessageWindows();
    if (windows.editors.empty())
        windows.previous = KMMessageService::SetHandler(ShowMessageWindow);
    std::erase_if(windows.editors, [editor](const auto& e) { return e.services == editor; });
    windows.editors.push_back({editor, frame});
    if (frame && !windows.waiting.empty())
        ShowWaitingBoxes();
}

void ForgetMessageWindow(CPeqWindowServices* editor) {
    SMessageWindows& windows = MessageWindows();
    const auto at = std::find_if(windows.editors.begin(), windows.editors.end(),
                                 [editor](const auto& e) { return e.services == editor; });
    if (at == windows.editors.end())
        return;
    windows.editors.erase(at);
    if (!windows.editors.empty())
        return;
    // With the last editor gone, boxes that still wait are not lost: they
    // take the way of boxes without an editor.
    KMMessageService::SetHandler(std::move(windows.previous));
    windows.previous = nullptr;
    std::vector<SMessageWindows::SBox> waiting;
    waiting.swap(windows.waiting);
    for (const SMessageWindows::SBox& box : waiting)
        KMMessageService::Show(box.text, box.caption, box.kind);
}

} // namespace

CPeqWindowServices::CPeqWindowServices(KTResContainerType* module, wxWindow* owner)
    : module_(module), owner_(nullptr) {
    if (kvFM::GetDialogService() == nullptr)
        kvFM::InstallWxDialogService();
    SetOwner(owner);
}

CPeqWindowServices::~CPeqWindowServices() {
    ForgetMessageWindow(this);
}

void CPeqWindowServices::SetOwner(wxWindow* owner) {
    owner_ = owner;
    if (ToolkitRunning())
        RememberMessageWindow(this, owner);
}

bool CPeqWindowServices::RunSystemConfiguration(SSystemConfigValues& values) {
    if (!ToolkitRunning())
        return false;
    CSystemConfigDlg dialog;
    dialog.SetDialogInfo(kDialogSystemConfig, owner_, module_);
    dialog.LoadValues(values);
    if (dialog.RunModal() != kIdOK)
        return false;
    dialog.StoreValues(values);
    return true;
}

bool CPeqWindowServices::RunPopSettings(cPEQ_ALG& alg, SPopSettingsValues& values) {
    if (!ToolkitRunning())
        return false;
    CPOPFileSettingsDlg dialog(&alg);
    dialog.SetDialogInfo(kDialogPopSettings, owner_, module_);
    dialog.resetSelector = static_cast<int32_t>(values.popType);
    dialog.eepromSelector = static_cast<int32_t>(values.popTypeEEPROMExt);
    dialog.resetFile = values.popFilename;
    dialog.eepromFile = values.popFilenameEEPROM;
    dialog.runPath = values.popRunPath;
    if (dialog.RunModal() != kIdOK)
        return false;
    values.popType = static_cast<uint32_t>(dialog.resetSelector);
    values.popTypeEEPROMExt = static_cast<uint32_t>(dialog.eepromSelector);
    values.popFilename = dialog.resetFile;
    values.popFilenameEEPROM = dialog.eepromFile;
    values.popRunPath = dialog.runPath;
    return true;
}

void CPeqWindowServices::PrepareCommander(cPEQ_ALG& alg, KCWindow*, const std::string& path) {
    if (!ToolkitRunning())
        return;
    commanderAlg_ = &alg;
    commanderPath_ = path;
}

// The command-list window is made (hidden, with its list read from the
// command file) the first time it is asked for: a second top-level window
// made while the editor is being set up kept the editor from taking the
// pointer.
void CPeqWindowServices::MakeCommander() {
    if (commander_.GetWindow() || !commanderAlg_)
        return;
    commander_.SetDialogInfo(0, owner_, module_);
    commander_.SetAlgorithm(commanderAlg_);
    if (commander_.Create())
        commander_.Load(commanderPath_);
}

void CPeqWindowServices::ShowCommander(bool show) {
    if (show)
        MakeCommander();
    commander_.Show(show);
}

bool CPeqWindowServices::IsCommanderVisible() {
    return commander_.IsVisible();
}
