#include "loggerui/WxLogger.h"

#include "busaccess/busgate/TraceSink.h"
#include "busaccess/busgate/ValueDecoders.h"
#include "foundation/kvFMWx.h"
#include "loggerui/AeqPage.h"
#include "loggerui/Dialogs.h"
#include "loggerui/EvbPage.h"
#include "loggerui/EvbPages.h"
#include "loggerui/IoPage.h"
#include "loggerui/MainWindowCommands.h"
#include "loggerui/PageCreation.h"
#include "loggerui/PwrAmpPage.h"
#include "loggerui/ScriptPage.h"
#include "loggerui/TweaksPage.h"
#include "loggerui/VolumePage.h"
#include "loggerui/WxMessages.h"

#include <wx/app.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/stattext.h>
#include <wx/thread.h>
#include <wx/toplevel.h>

#include <dlfcn.h>
#ifdef __WXGTK__
#include <gtk/gtk.h>
#endif
#include <new>
#include <set>

namespace loggerui {

namespace {

using busgate::LoggerLockGuard;
using busgate::Pane;

constexpr int kReminderWaitMs = 30;
constexpr int kReminderMaxWaits = 10000;
constexpr int kBlinkLitMs = 500;
constexpr int kBlinkBlankMs = 1500;
constexpr int kExportButtons[] = {id::kProgram, id::kExportC, id::kExportBin};
constexpr int kFlashExportButtons[] = {busgate::ctl::kProgramAll, busgate::ctl::kProgramTuningOnly};
constexpr int kDisabledAtStart[] = {id::kProgram, id::kExportC, id::kExportBin,
                                    busgate::ctl::kProgramAll};
const char* const kPresetNames[] = {"Boot", "Preset 1", "Preset 2", "Preset 3"};

wxColour ColourOf(uint32_t colourRef) {
    return wxColour(colourRef & 0xFF, (colourRef >> 8) & 0xFF, (colourRef >> 16) & 0xFF);
}

bool OnGuiThread() {
    return wxThread::IsMain();
}

// Once windows of this library exist, wx may call into its code until the
// process ends: the library is never unmapped from then on.
void PinLibrary() {
    static bool pinned = false;
    if (pinned)
        return;
    pinned = true;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&PinLibrary), &info) && info.dli_fname) {
        if (void* self = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE))
            (void)self; // the reference is kept on purpose
    }
}

// The toolkit's libraries stay loaded once loaded with this code: their
// static data (class tables, modules) would otherwise be unmapped under
// objects still pointing into it when the caller unloads this library.
void KeepLoaded(void* symbol) {
    Dl_info info{};
    if (dladdr(symbol, &info) && info.dli_fname)
        (void)dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

// Appends text in a colour at the end of a pane. On GTK the text goes
// straight into the view's buffer with one shared tag per colour: wx's own
// insert leaves a mark per call in the buffer and re-applies its styles,
// which makes long logs slow.
void AppendTo(wxTextCtrl* pane, const wxString& text, uint32_t colourRef) {
    if (text.empty())
        return;
#ifdef __WXGTK__
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(pane->GetConnectWidget()));
    GtkTextTagTable* table = gtk_text_buffer_get_tag_table(buffer);
    char name[32];
    std::snprintf(name, sizeof name, "log-colour-%06X", static_cast<unsigned>(colourRef));
    GtkTextTag* tag = gtk_text_tag_table_lookup(table, name);
    if (!tag) {
        const GdkRGBA rgba{(colourRef & 0xFF) / 255.0, ((colourRef >> 8) & 0xFF) / 255.0,
                           ((colourRef >> 16) & 0xFF) / 255.0, 1.0};
        tag = gtk_text_buffer_create_tag(buffer, name, "foreground-rgba", &rgba, nullptr);
    }
    GtkTextIter end;
    gtk_text_buffer_get_end_iter(buffer, &end);
    const wxScopedCharBuffer utf8 = text.utf8_str();
    gtk_text_buffer_insert_with_tags(buffer, &end, utf8.data(), static_cast<gint>(utf8.length()),
                                     tag, nullptr);
#else
    pane->SetDefaultStyle(wxTextAttr(ColourOf(colourRef)));
    pane->AppendText(text);
#endif
}

// Shows the end of a pane. On GTK the scroll waits for the view's line
// layout (a mark, not a position): a position scrolled to before the layout
// of a large batch is done can leave the view short of the end.
void ScrollToEnd(wxTextCtrl* pane) {
#ifdef __WXGTK__
    GtkTextView* view = GTK_TEXT_VIEW(pane->GetConnectWidget());
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(view);
    GtkTextIter end;
    gtk_text_buffer_get_end_iter(buffer, &end);
    GtkTextMark* mark = gtk_text_buffer_get_mark(buffer, "log-end");
    if (!mark)
        mark = gtk_text_buffer_create_mark(buffer, "log-end", &end, FALSE);
    else
        gtk_text_buffer_move_mark(buffer, mark, &end);
    gtk_text_view_scroll_to_mark(view, mark, 0.0, TRUE, 0.0, 1.0);
#else
    pane->ShowPosition(pane->GetLastPosition());
#endif
}

// A batch goes into a pane between these. On GTK the view draws only after
// the batch, when the event loop runs again, and wx's freeze would detach
// the buffer and lay the whole text out again at the thaw: the text goes
// straight into the attached buffer instead.
void FreezePane(wxTextCtrl* pane) {
#ifndef __WXGTK__
    pane->Freeze();
#else
    (void)pane;
#endif
}

void ThawPane(wxTextCtrl* pane) {
#ifndef __WXGTK__
    pane->Thaw();
#else
    (void)pane;
#endif
}

// Keeps a new page in its page pointer; the page, or null.
template <typename Page>
Page* Keep(wxWeakRef<wxWindow>& pointer, Page* page) {
    pointer = page;
    return page;
}

// A page's window and object gone, its pointer cleared.
void DestroyPage(wxWeakRef<wxWindow>& pointer) {
    wxWindow* page = pointer.get();
    pointer = nullptr;
    delete page;
}

} // namespace

wxString WideText(std::string_view text) {
    wxString wide = wxString::FromUTF8(text.data(), text.size());
    if (wide.empty() && !text.empty())
        wide = wxString(text.data(), wxConvISO8859_1, text.size());
    return wide;
}

// ---- settings model

bool SettingsModel::IsChecked(int id) const {
    std::lock_guard<std::mutex> guard(mutex_);
    auto it = checked_.find(id);
    return it != checked_.end() && it->second;
}

void SettingsModel::SetChecked(int id, bool checked) {
    std::lock_guard<std::mutex> guard(mutex_);
    checked_[id] = checked;
}

uint32_t SettingsModel::GpioSelection2() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return gpioSelection2_;
}

void SettingsModel::SetGpioSelection2(uint32_t value) {
    std::lock_guard<std::mutex> guard(mutex_);
    gpioSelection2_ = value;
}

// ---- the logger

WxLogger::WxLogger(busgate::BusGate& bus) : bus_(bus), tweaks_(bus) {
    ConnectTweaks();
    // The pages' preset-stage boxes start checked, as their pages open.
    settings_.SetChecked(busgate::ctl::kConfigIoAtPreset, true);
    settings_.SetChecked(busgate::ctl::kConfigPwrAmpAtPreset, true);
    reminderWait_ = [this](uint32_t ms) { bus_.WaitWithMessagePump(ms); };
    kvFM::InstallWxDialogService();
}

WxLogger::~WxLogger() {
    tweaks_.SetChangeHook(nullptr);
    tweaks_.SetTimerHook(nullptr);
    if (auto* page = static_cast<CTweaks_Dialog*>(tweaksPage_.get())) {
        page->Arm(TweaksService::kMeterTimer, -1);
        page->Arm(TweaksService::kReadyTimer, -1);
    }
    // The pages refer to this logger: they go with it.
    // Their timers stop now: the windows go only when the loop is idle.
    if (auto* page = static_cast<CEvbCfgDialog*>(evbWindow_.get()))
        page->StopStatusTimer();
    if (auto* page = static_cast<CPwrAmpDialog*>(pwrAmpPage_.get()))
        page->StopWatch();
    for (auto& page : evbPages_)
        if (page)
            page->SetNotifier({});
    for (wxWindow* page : {aeqPage_.get(), ioPage_.get(), evbWindow_.get(), pwrAmpPage_.get(),
                           tweaksPage_.get(), volumePage_.get(), scriptPage_.get()})
        if (page)
            page->Destroy();
}

CMainDialog* WxLogger::MainWindow() const {
    return static_cast<CMainDialog*>(main_.get());
}

CHintFigureDialog* WxLogger::Reminder() const {
    return static_cast<CHintFigureDialog*>(reminder_.get());
}

busgate::HostWindow WxLogger::FindHostWindow() {
    for (wxWindow* window : wxTopLevelWindows) {
        auto* frame = dynamic_cast<wxTopLevelWindow*>(window);
        if (!frame || frame->IsBeingDeleted() ||
            frame->GetTitle() != wxString::FromUTF8(kHostTitle))
            continue;
        frame->SetTitle(wxString::FromUTF8(kHostRetitled));
        host_ = frame;
        return frame;
    }
    host_ = nullptr;
    return nullptr;
}

void WxLogger::CreateMainDialog(busgate::HostWindow owner) {
    if (MainWindow())
        return;
    wxWindow* parent = owner && owner == host_.get() ? host_.get() : nullptr;
    {
        // What was queued while no window existed had no pane to go to.
        LoggerLockGuard guard(bus_.Lock());
        queue_.clear();
    }
    auto* dialog = new CMainDialog(parent, *this);
    PinLibrary();
    main_ = dialog;
    mainExists_.store(true);
    dialog->Bind(wxEVT_DESTROY, [this, dialog](wxWindowDestroyEvent& event) {
        event.Skip();
        if (event.GetEventObject() == dialog)
            mainExists_.store(false);
    });
    RegisterPane(Pane::Traffic, dialog->LogPane());
    RegisterPane(Pane::Status, dialog->InfoPane());
    dialog->Bind(
        wxEVT_CHECKBOX,
        [this](wxCommandEvent& event) {
            settings_.SetChecked(busgate::ctl::kClearLogOnStart, event.IsChecked());
        },
        busgate::ctl::kClearLogOnStart);
    dialog->Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { bus_.Log().ResetFormat(); }, id::kClear);
    BindMainCommands(*dialog, *this);
    InitMainDialog();
}

void WxLogger::InitMainDialog() {
    CMainDialog* dialog = MainWindow();
    SetLibraryIcon(*dialog);
    dialog->SetTitle(wxString::FromUTF8("Terovan DulmLogger ") + kLoggerVersion);
    busgate::TraceWrite(busgate::FormatC(256, "DulmLogger %s (Build: %s %s)\n", kLoggerVersion,
                                         __DATE__, __TIME__));
    settings_.SetChecked(busgate::ctl::kClearLogOnStart, true);
    if (auto* box = dynamic_cast<wxCheckBox*>(dialog->FindWindow(busgate::ctl::kClearLogOnStart)))
        box->SetValue(true);
    hidden_.store(true);
    dialog->ShowLamp(Lamp::Red);
    {
        LoggerLockGuard guard(bus_.Lock());
        bus_.CaptureReset(); // does nothing during an export
    }
    for (int control : kDisabledAtStart)
        EnableControl(control, false);
    if (auto* presets =
            dynamic_cast<wxChoice*>(dialog->FindWindow(busgate::ctl::kPresetSelector))) {
        presets->Clear();
        for (std::size_t i = 0; i < std::size(kPresetNames); ++i)
            presets->Append(kPresetNames[i], reinterpret_cast<void*>(static_cast<intptr_t>(i)));
        presets->SetSelection(0);
    }
    loggingEnabled_.store(true);
    if (wxWindow* button = dialog->FindWindow(id::kLogButton))
        button->SetLabel("Disable Log");
    dialog->LogPane()->ChangeValue(" ");
    dialog->InfoPane()->ChangeValue(" ");
    dialog->CentreOnParent();
}

EvbBoardPage& WxLogger::EvbPage(int boardType) {
    std::unique_ptr<EvbBoardPage>& page = evbPages_[boardType == 4 ? 1 : 0];
    if (!page) {
        page = std::make_unique<EvbBoardPage>(bus_, boardType == 4 ? 4 : 1);
        EvbBoardPage* self = page.get();
        page->SetNotifier([this, self] {
            HandOff(0, [this, self] {
                auto* window = static_cast<CEvbCfgDialog*>(evbWindow_.get());
                if (window && &window->Page() == self)
                    window->TakeState();
            });
        });
    }
    return *page;
}

busgate::CEvbCfg_Dialog* WxLogger::CreateEvbDialog(int boardType) {
    if (boardType != 1 && boardType != 4)
        return nullptr;
    EvbBoardPage* page = &EvbPage(boardType);
    if (currentEvb_.load() == page)
        return page;
    // The other board's window goes; this page starts as a new window does.
    DestroyEvbDialogs();
    page->ResetToDefaults();
    currentEvb_.store(page);
    HandOff(0, [this, page] { CreateEvbWindow(page); });
    return page;
}

void WxLogger::DropStaleEvbWindow() {
    auto* window = static_cast<CEvbCfgDialog*>(evbWindow_.get());
    if (!window || &window->Page() == currentEvb_.load())
        return;
    window->StopStatusTimer();
    window->Hide();
    window->Destroy();
    evbWindow_ = nullptr;
}

void WxLogger::CreateEvbWindow(EvbBoardPage* page) {
    DropStaleEvbWindow();
    if (currentEvb_.load() != page || evbWindow_)
        return;
    auto& window = MakePage<CEvbCfgDialog>(
        bus_.Messages(), {page->IsQX410x() ? "QX410xEvbCfgDlg" : "QZ625xEvbCfgDlg", true},
        host_.get(), [this, page] { return Keep(evbWindow_, new CEvbCfgDialog(*this, *page)); },
        [this] { DestroyPage(evbWindow_); });
    PinLibrary();
    RegisterPane(Pane::Evb, window.StatusPane());
}

void WxLogger::DestroyEvbDialogs() {
    currentEvb_.store(nullptr);
    HandOff(0, [this] { DropStaleEvbWindow(); });
}

wxWindow* WxLogger::PageParent(busgate::HostWindow owner) const {
    return owner && owner == host_.get() ? host_.get() : nullptr;
}

void WxLogger::CreateAeqCfgDialog(busgate::HostWindow owner) {
    if (aeqPage_)
        return;
    HandOff(0, [this, owner] {
        if (aeqPage_)
            return;
        MakePage<CAeqCfgDialog>(
            bus_.Messages(), {"AeqCfgDlg", true}, PageParent(owner),
            [this] { return Keep(aeqPage_, new (std::nothrow) CAeqCfgDialog(*this)); },
            [this] { DestroyAeqCfgDialog(); });
        PinLibrary();
    });
}

void WxLogger::DestroyAeqCfgDialog() {
    DestroyPage(aeqPage_);
}

void WxLogger::CreateIoCfgDialog(busgate::HostWindow owner) {
    if (ioPage_)
        return;
    HandOff(0, [this, owner] {
        if (ioPage_)
            return;
        MakePage<CIoCfgDialog>(
            bus_.Messages(), {"IoCfgDlg", false}, PageParent(owner),
            [this] { return Keep(ioPage_, new (std::nothrow) CIoCfgDialog(*this)); },
            [this] { DestroyIoCfgDialog(); });
        PinLibrary();
    });
}

void WxLogger::DestroyIoCfgDialog() {
    DestroyPage(ioPage_);
}

void WxLogger::CreatePwrAmpDialog(busgate::HostWindow owner) {
    if (pwrAmpPage_)
        return;
    HandOff(0, [this, owner] {
        if (pwrAmpPage_)
            return;
        MakePage<CPwrAmpDialog>(
            bus_.Messages(), {"PwrAmpDlg", true}, PageParent(owner),
            [this] { return Keep(pwrAmpPage_, new (std::nothrow) CPwrAmpDialog(*this)); },
            [this] { DestroyPage(pwrAmpPage_); });
        PinLibrary();
    });
}

void WxLogger::SetPwrAmpTimer(bool run) {
    HandOff(0, [this, run] {
        if (auto* page = static_cast<CPwrAmpDialog*>(pwrAmpPage_.get())) {
            if (run)
                page->StartWatch(500);
            else
                page->StopWatch();
        }
    });
}

void WxLogger::HidePwrAmpDialog() {
    HandOff(0, [this] {
        if (wxWindow* page = pwrAmpPage_.get())
            page->Hide();
    });
}

void WxLogger::PwrAmpApplyConfig() {
    ApplyPwmAtPreset(bus_, pages_);
    // The page shows what the preset stage made of its boxes and gain.
    HandOff(0, [this] {
        if (auto* page = static_cast<CPwrAmpDialog*>(pwrAmpPage_.get()))
            page->ShowSettings();
    });
}

void WxLogger::CreateTweaksDialog(busgate::HostWindow owner) {
    if (tweaksPage_)
        return;
    HandOff(0, [this, owner] {
        if (tweaksPage_)
            return;
        MakePage<CTweaks_Dialog>(
            bus_.Messages(), {"TweaksDlg", true}, PageParent(owner),
            [this] { return Keep(tweaksPage_, new (std::nothrow) CTweaks_Dialog(*this, tweaks_)); },
            [this] { DestroyPage(tweaksPage_); });
        PinLibrary();
    });
}

void WxLogger::CreateScriptDialog(busgate::HostWindow owner) {
    if (scriptPage_)
        return;
    HandOff(0, [this, owner] {
        if (scriptPage_)
            return;
        MakePage<CScript_Dialog>(
            bus_.Messages(), {"ScriptDlg", true}, PageParent(owner),
            [this] {
                return Keep(scriptPage_, new (std::nothrow) CScript_Dialog(
                                             *this, ScriptFiles::DefaultSettingsPath()));
            },
            [this] { DestroyPage(scriptPage_); });
        PinLibrary();
    });
}

wxWindow* WxLogger::VolumePage(bool create) {
    if (!volumePage_ && create) {
        MakePage<CVolumeControl_Dialog>(
            bus_.Messages(), {"VolumeControlDlg", true}, static_cast<wxWindow*>(nullptr),
            [this] {
                return Keep(volumePage_, new (std::nothrow) CVolumeControl_Dialog(*this, volume_));
            },
            [this] { DestroyPage(volumePage_); });
        PinLibrary();
    }
    return volumePage_.get();
}

// The tweaks service changes from the page and from the decoder's thread;
// the page shows it and runs its timers on the GUI thread.
void WxLogger::ConnectTweaks() {
    tweaks_.SetChangeHook([this] {
        if (!tweaks_.Snapshot().srcControls)
            settings_.SetChecked(busgate::ctl::kConfigSrcPllAtPreset, false);
        if (OnGuiThread()) {
            if (auto* page = static_cast<CTweaks_Dialog*>(tweaksPage_.get()))
                page->Refresh();
            return;
        }
        if (!wxTheApp || tweaksRefreshPending_.exchange(true))
            return;
        wxTheApp->CallAfter([this] {
            tweaksRefreshPending_.store(false);
            if (auto* page = static_cast<CTweaks_Dialog*>(tweaksPage_.get()))
                page->Refresh();
        });
    });
    tweaks_.SetTimerHook([this](int timer, int ms) {
        auto arm = [this, timer, ms] {
            if (auto* page = static_cast<CTweaks_Dialog*>(tweaksPage_.get()))
                page->Arm(timer, ms);
        };
        if (OnGuiThread())
            arm();
        else if (wxTheApp)
            wxTheApp->CallAfter(arm);
    });
}

void WxLogger::UpdateAfterOpen() {
    pages_.io.Prepare(bus_.State().chipTypeCode, IsChecked(busgate::ctl::kConfigPwrAmpAtPreset));
    HandOff(0, [this] {
        if (auto* page = static_cast<CIoCfgDialog*>(ioPage_.get()))
            page->FillPins();
    });
}

void WxLogger::ShowMainWindow() {
    HandOff(0, [this] {
        if (CMainDialog* dialog = MainWindow()) {
            dialog->Show();
            dialog->Iconize(false);
            dialog->Raise();
            // Text that came while the window was hidden scrolled nothing.
            ScrollToEnd(dialog->LogPane());
        }
    });
}

void WxLogger::RegisterPane(Pane pane, wxTextCtrl* control) {
    panes_[static_cast<int>(pane)] = control;
    paneColours_[static_cast<int>(pane)] = 0;
}

void WxLogger::SetCaptureLabel(std::string_view label) {
    std::lock_guard<std::mutex> guard(stateMutex_);
    captureLabel_ = label;
}

// ---- hand-offs to the GUI thread

void WxLogger::HandOff(int slot, std::function<void()> work) {
    if (OnGuiThread())
        return work();
    if (!wxTheApp)
        return;
    if (slot > 0 && handOffPending_[slot].exchange(true))
        return; // the pending one will do it with the latest state
    wxTheApp->CallAfter([this, slot, work = std::move(work)] {
        if (slot > 0)
            handOffPending_[slot].store(false);
        work();
    });
}

void WxLogger::ArmTimer(int timer, int milliseconds) {
    if (timer < 1 || timer > kTimerBlank)
        return;
    armMilliseconds_[timer].store(milliseconds);
    HandOff(timer, [this, timer] { StartTimer(timer, armMilliseconds_[timer].load()); });
}

void WxLogger::StartTimer(int timer, int milliseconds) {
    if (CMainDialog* dialog = MainWindow())
        dialog->StartTimer(timer, milliseconds);
}

void WxLogger::EnableControl(int id, bool enable) {
    {
        std::lock_guard<std::mutex> guard(stateMutex_);
        controlStates_[id] = enable;
    }
    HandOff(kSlotControls, [this] { ApplyControlStates(); });
}

void WxLogger::ApplyControlStates() {
    CMainDialog* dialog = MainWindow();
    if (!dialog)
        return;
    std::map<int, bool> states;
    {
        std::lock_guard<std::mutex> guard(stateMutex_);
        states = controlStates_;
    }
    for (const auto& [control, enable] : states)
        if (wxWindow* window = dialog->FindWindow(control))
            window->Enable(enable);
}

void WxLogger::PumpMessages() {
    if (!OnGuiThread() || !wxTheApp || yielding_.exchange(true))
        return;
    wxTheApp->Yield(true);
    yielding_.store(false);
}

void WxLogger::PumpDisplay() {
    if (!OnGuiThread() || !wxTheApp || yielding_.exchange(true))
        return;
    // Paint and timers only: pointer and key input waits until the
    // operation is over.
    displayOnly_ = true;
    DispatchOnly(wxEVT_CATEGORY_UI | wxEVT_CATEGORY_TIMER);
    displayOnly_ = false;
    yielding_.store(false);
}

// ---- the queue

void WxLogger::Queue(Entry entry) {
    LoggerLockGuard guard(bus_.Lock());
    queue_.push_back(std::move(entry));
    ArmTimer(busgate::kTimerLogQueue, 1);
}

void WxLogger::QueueSetColor(Pane pane, int code) {
    Queue({static_cast<int>(pane), Op::Colour, busgate::LogColourRef(code), wxString()});
}

void WxLogger::QueueAppendText(Pane pane, std::string_view text) {
    Queue({static_cast<int>(pane), Op::Append, 0, WideText(text)});
}

void WxLogger::QueueClear(Pane pane) {
    Queue({static_cast<int>(pane), Op::Clear, 0, wxString()});
}

std::size_t WxLogger::PendingEntries() {
    LoggerLockGuard guard(bus_.Lock());
    return queue_.size();
}

void WxLogger::Drain() {
    std::vector<Entry> entries;
    entries.swap(queue_);
    // The panes the batch touches; nothing is drawn until the batch is in.
    std::map<int, wxTextCtrl*> frozen;
    auto paneOf = [&](int pane) -> wxTextCtrl* {
        auto found = frozen.find(pane);
        if (found != frozen.end())
            return found->second;
        auto it = panes_.find(pane);
        wxTextCtrl* control = it == panes_.end() ? nullptr : it->second.get();
        if (control)
            FreezePane(control);
        frozen[pane] = control;
        return control;
    };
    std::set<wxTextCtrl*> scrolled;
    // Consecutive appends to one pane go in as one text.
    int pendingPane = -1;
    wxString pending;
    auto flush = [&] {
        if (pendingPane >= 0)
            AppendTo(frozen[pendingPane], pending, paneColours_[pendingPane]);
        pendingPane = -1;
        pending.clear();
    };
    for (Entry& entry : entries) {
        wxTextCtrl* pane = paneOf(entry.pane);
        if (!pane)
            continue; // its window does not exist (yet)
        if (entry.op == Op::Append) {
            if (entry.pane != pendingPane)
                flush();
            pendingPane = entry.pane;
            pending += entry.text;
            continue;
        }
        flush();
        if (entry.op == Op::Clear) {
            pane->ChangeValue(" ");
        } else {
            // The colour applies to everything appended after it.
            paneColours_[entry.pane] = entry.colour;
            scrolled.insert(pane);
        }
    }
    flush();
    // A colour entry scrolls its pane to the end; once per batch is enough,
    // after the batch's text is in.
    for (wxTextCtrl* pane : scrolled)
        ScrollToEnd(pane);
    for (auto& [id, control] : frozen)
        if (control)
            ThawPane(control);
}

// ---- timers

void WxLogger::OnTimer(int timer) {
    CMainDialog* dialog = MainWindow();
    if (!dialog)
        return;
    busgate::LoggerLock& lock = bus_.Lock();
    // The panes show what an operation that holds the lock reports while it
    // runs: they take nothing from the bus.
    const bool showsOnly = timer == busgate::kTimerLogQueue || timer == busgate::kTimerCaptureLabel;
    const bool nestedDisplay = displayOnly_ && showsOnly && lock.HeldByThisThread();
    // Otherwise never wait for the lock, and never run inside a section that
    // this thread holds further up its stack: come back in 1 ms.
    if (!nestedDisplay && (lock.HeldByThisThread() || !lock.TryLock())) {
        dialog->StartTimer(timer, 1);
        return;
    }
    if (nestedDisplay)
        lock.Lock();
    switch (timer) {
    case busgate::kTimerLogQueue:
        Drain();
        break;
    case busgate::kTimerCaptureLabel:
        ShowCaptureLabel();
        break;
    case busgate::kTimerConnection:
        ShowConnection();
        break;
    case kTimerBlank:
        ShowBlankLamp();
        break;
    default:
        break;
    }
    lock.Unlock();
}

void WxLogger::ShowCaptureLabel() {
    CMainDialog* dialog = MainWindow();
    std::string label;
    {
        std::lock_guard<std::mutex> guard(stateMutex_);
        label = captureLabel_;
    }
    if (auto* field = dynamic_cast<wxTextCtrl*>(dialog->FindWindow(id::kPresetSize)))
        field->ChangeValue(WideText(label));
    const bool captured = bus_.Capture().state != busgate::CaptureBuffer::Idle;
    for (int control : kExportButtons)
        EnableControl(control, captured);
    if (!captured || bus_.State().boardFirmwareRevision >= 0x10000)
        for (int control : kFlashExportButtons)
            EnableControl(control, captured);
}

void WxLogger::ShowConnection() {
    CMainDialog* dialog = MainWindow();
    if (bus_.State().open != 1)
        connectionState_.store(busgate::kDisconnected);
    const int state = connectionState_.load();
    wxStaticText* note = dialog->Note();
    if (state == busgate::kChipAlive || state == busgate::kChipAliveWithMarker) {
        dialog->ShowLamp(state == busgate::kChipAlive ? Lamp::Green : Lamp::Marker);
        dialog->StartTimer(kTimerBlank, kBlinkLitMs);
        if (state == busgate::kChipAliveWithMarker) {
            note->Enable(true);
            note->SetForegroundColour(ColourOf(busgate::LogColourRef(busgate::kColourBlue)));
            note->Refresh();
            note->Update();
        }
        return;
    }
    dialog->ShowLamp(Lamp::Red);
    dialog->StopTimer(kTimerBlank);
    bus_.Log().SetTrafficColor(busgate::kColourBlack);
    bus_.Log().Printf("--> Close I2C communication. \n ");
    note->Enable(false);
}

void WxLogger::ShowBlankLamp() {
    CMainDialog* dialog = MainWindow();
    dialog->ShowLamp(Lamp::Blank);
    dialog->StartTimer(busgate::kTimerConnection, kBlinkBlankMs);
}

// ---- closing and the reminder

void WxLogger::OnMainCancel() {
    if (CHintFigureDialog* reminder = Reminder()) {
        reminder->DontRemindBox()->SetValue(false);
        reminder->dontRemind = false;
    }
    hidden_.store(true);
    if (CMainDialog* dialog = MainWindow())
        dialog->Hide();
}

bool WxLogger::ConfirmExport() {
    CMainDialog* dialog = MainWindow();
    if (!dialog)
        return true;
    if (!Reminder()) {
        auto* page = new CHintFigureDialog(dialog);
        page->DontRemindBox()->SetValue(false);
        reminder_ = page;
    }
    CHintFigureDialog* page = Reminder();
    if (!page)
        return true;
    if (dialog->reminderShowing)
        return false;
    busgate::TraceWrite(page->dontRemind ? "GetDontRemind=TRUE\n" : "GetDontRemind=FALSE\n");
    if (page->dontRemind)
        return true;
    page->CentreOnParent();
    page->result = CHintFigureDialog::kOpen;
    page->Show();
    page->Iconize(false);
    page->SetFocus();
    dialog->reminderShowing = page->IsShown();
    for (int waits = 0; dialog->reminderShowing;) {
        reminderWait_(kReminderWaitMs);
        // The wait dispatches messages: the windows may be gone after it.
        dialog = MainWindow();
        page = Reminder();
        if (!dialog || !page)
            return false;
        if (++waits > kReminderMaxWaits) {
            page->Hide();
            dialog->reminderShowing = false;
            break;
        }
        dialog->reminderShowing = page->IsShown();
    }
    return page->result == CHintFigureDialog::kConfirmed;
}

// ---- the choice

void KeepToolkitLoaded() {
    KeepLoaded(reinterpret_cast<void*>(&wxAppConsoleBase::GetInstance));
    KeepLoaded(reinterpret_cast<void*>(&wxWindowBase::FindWindowById));
}

std::unique_ptr<busgate::LoggerServices> CreateWxLogger(busgate::BusGate& bus) {
    if (!wxTheApp || !wxTheApp->IsGUI() || !OnGuiThread())
        return nullptr;
    auto logger = std::make_unique<WxLogger>(bus);
    // Boxes are owned by the main window while it is on the screen.
    WxLogger* owner = logger.get();
    bus.SetMessages(
        std::make_shared<WxMessageService>([owner]() -> wxWindow* { return owner->MainWindow(); }));
    return logger;
}

} // namespace loggerui
