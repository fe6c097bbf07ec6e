// The logger's windows over wxWidgets: the main window with its two panes,
// the log queue that any thread feeds and the main window's timers drain,
// the connection lamp, and the soft-reset reminder.
//
// Threads: the queue entry points and every service the bus calls may run
// on any thread. Their state lives in atomics and in the settings model;
// window work is handed to the GUI thread with CallAfter, at most one
// hand-off pending per timer or task. Only the GUI thread touches a window.
#pragma once

#include "busaccess/busgate/BusGate.h"
#include "busaccess/busgate/LoggerServices.h"
#include "loggerui/PageModels.h"
#include "loggerui/TweaksService.h"
#include "loggerui/VolumeService.h"

#include <wx/string.h>
#include <wx/textctrl.h>
#include <wx/weakref.h>
#include <wx/window.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace loggerui {

class CMainDialog;
class CHintFigureDialog;
class EvbBoardPage;

// Control ids of the main window and the reminder.
namespace id {
inline constexpr int kLogPane = 1003;
inline constexpr int kInfoPane = 1005;
inline constexpr int kLamp = 1043;
inline constexpr int kLogButton = 1059;
inline constexpr int kNote = 1200;
inline constexpr int kPresetSize = 1015;
inline constexpr int kProgram = 1009;
inline constexpr int kExportC = 1002;
inline constexpr int kExportBin = 1019;
inline constexpr int kClear = 1007;
inline constexpr int kReminderIcon = 1202;
inline constexpr int kReminderQuestion = 1201;
inline constexpr int kReminderPicture = 1203;
inline constexpr int kDontRemind = 1204;
inline constexpr int kReminderOk = 1;
inline constexpr int kReminderCancel = 2;
} // namespace id

inline constexpr int kTimerBlank = 4;
inline constexpr const char* kHostTitle = "Quorl Audio DulmDSP";
inline constexpr const char* kHostRetitled = "Quorl Audio DulmDSP (By Terovan)";
inline constexpr const char* kLoggerVersion = "3.5.0.7";

// The check boxes and values the preset-stage hooks read on the bus thread
// and the windows write.
class SettingsModel {
public:
    bool IsChecked(int id) const;
    void SetChecked(int id, bool checked);
    uint32_t GpioSelection2() const;
    void SetGpioSelection2(uint32_t value);

private:
    mutable std::mutex mutex_;
    std::map<int, bool> checked_;
    uint32_t gpioSelection2_ = 0x000040;
};

class WxLogger final : public busgate::LoggerServices {
public:
    // On the GUI thread of a running wx GUI application.
    explicit WxLogger(busgate::BusGate& bus);
    ~WxLogger() override;
    WxLogger(const WxLogger&) = delete;
    WxLogger& operator=(const WxLogger&) = delete;

    // ---- services of the bus
    busgate::HostWindow FindHostWindow() override;
    void CreateMainDialog(busgate::HostWindow owner) override;
    void CreateIoCfgDialog(busgate::HostWindow owner) override;
    void CreateAeqCfgDialog(busgate::HostWindow owner) override;
    void CreateTweaksDialog(busgate::HostWindow owner) override;
    void CreatePwrAmpDialog(busgate::HostWindow owner) override;
    void CreateScriptDialog(busgate::HostWindow owner) override;
    busgate::CEvbCfg_Dialog* CreateEvbDialog(int boardType) override;
    void DestroyEvbDialogs() override;

    bool MainWindowExists() const override { return mainExists_.load(); }
    void ShowMainWindow() override;
    bool LoggingEnabled() const override { return loggingEnabled_.load(); }
    bool LoggingSuspended() const override { return hidden_.load(); }
    void SetLoggingSuspended(bool suspended) override { hidden_.store(suspended); }
    void SetConnectionState(int state) override { connectionState_.store(state); }
    void ArmTimer(int timer, int milliseconds) override;
    void EnableControl(int id, bool enable) override;
    bool IsChecked(int id) const override { return settings_.IsChecked(id); }
    void UpdateAfterOpen() override;
    void SetCaptureLabel(std::string_view label) override;

    void QueueSetColor(busgate::Pane pane, int code) override;
    void QueueAppendText(busgate::Pane pane, std::string_view text) override;
    void QueueClear(busgate::Pane pane) override;

    void SetPwrAmpTimer(bool run) override;
    void HidePwrAmpDialog() override;
    void PwrAmpApplyConfig() override;
    void IoInjectConfig() override { InjectIoImages(bus_, pages_.io.Images()); }
    uint32_t IoGpioSelection2() const override { return pages_.io.Selection2(); }
    void AeqSendFilters() override { SendAeqFilters(bus_, pages_.aeq.Records()); }
    void TweaksEnable(int enable) override { tweaks_.EnableTweaks(enable != 0); }
    void TweaksConfigureSrc() override { tweaks_.ConfigureSrc(); }
    void TweaksCheckRunning() override { tweaks_.CheckRunning(); }
    bool TweaksRunning() const override { return tweaks_.Snapshot().enabled; }
    void SetTweaksButton(std::string_view text, bool enable) override {
        tweaks_.SetButton(std::string(text), enable);
    }
    void PumpMessages() override;
    void PumpDisplay() override;

    // ---- for the windows (GUI thread)
    // The main window; null when it does not exist (or wx destroyed it).
    CMainDialog* MainWindow() const;
    // A pane that queue entries for `pane` go to; further pages register
    // their status panes here.
    void RegisterPane(busgate::Pane pane, wxTextCtrl* control);
    void SetLoggingEnabled(bool enabled) { loggingEnabled_.store(enabled); }
    SettingsModel& Settings() { return settings_; }
    PageModels& Pages() { return pages_; }
    // The AEQ page; null until the first open created it.
    wxWindow* AeqPage() const { return aeqPage_.get(); }
    wxWindow* IoPage() const { return ioPage_.get(); }
    // The current evaluation-board page's window; null when none exists.
    wxWindow* EvbWindow() const { return evbWindow_.get(); }
    // The PWM and power-amplifier page; null until the first open made it.
    wxWindow* PwrAmpPage() const { return pwrAmpPage_.get(); }
    // The page model of board type 1 or 4 (made on first use).
    EvbBoardPage& EvbPage(int boardType);
    wxWindow* TweaksPage() const { return tweaksPage_.get(); }
    TweaksService& Tweaks() { return tweaks_; }
    wxWindow* ScriptPage() const { return scriptPage_.get(); }
    // The volume page, created on first use with the desktop as parent.
    wxWindow* VolumePage(bool create);
    // A page whose window could not be created goes: its window, the page
    // and its pointer.
    void DestroyAeqCfgDialog();
    void DestroyIoCfgDialog();
    VolumeService& Volume() { return volume_; }
    busgate::BusGate& Bus() { return bus_; }
    void OnTimer(int timer);
    // The close box or Esc of the main window.
    void OnMainCancel();
    // Asks, in the reminder, whether a soft reset came first; true when the
    // export may go on.
    bool ConfirmExport();
    // The wait of the reminder's loop (default: 30 ms with the message pump).
    void SetReminderWait(std::function<void(uint32_t ms)> wait) { reminderWait_ = std::move(wait); }
    CHintFigureDialog* Reminder() const;
    // Entries waiting for the next drain (any thread).
    std::size_t PendingEntries();

private:
    enum class Op : uint8_t { Append, Clear, Colour };
    struct Entry {
        int pane;
        Op op;
        uint32_t colour; // COLORREF 0x00BBGGRR
        wxString text;
    };
    // Hand-off slots: one per timer, then the control states.
    static constexpr int kSlotControls = 5;
    static constexpr int kSlots = 6;

    void Queue(Entry entry);
    void Drain();
    void ShowCaptureLabel();
    void ShowConnection();
    void ShowBlankLamp();
    void StartTimer(int timer, int milliseconds);
    void ApplyControlStates();
    void HandOff(int slot, std::function<void()> work);
    void InitMainDialog();
    void ConnectTweaks();
    // The parent of a page made for the host window `owner`.
    wxWindow* PageParent(busgate::HostWindow owner) const;

    busgate::BusGate& bus_;
    SettingsModel settings_;
    PageModels pages_;
    std::atomic<bool> mainExists_{false};
    std::atomic<bool> loggingEnabled_{true};
    std::atomic<bool> hidden_{true};
    std::atomic<int> connectionState_{busgate::kDisconnected};
    std::array<std::atomic<int>, kSlots> armMilliseconds_{};
    std::array<std::atomic<bool>, kSlots> handOffPending_{};
    std::atomic<bool> yielding_{false};
    // True while PumpDisplay dispatches, inside an operation that holds the
    // lock on the GUI thread.
    bool displayOnly_ = false;
    mutable std::mutex stateMutex_; // capture label and control states
    std::string captureLabel_ = " -- Empty -- ";
    std::map<int, bool> controlStates_;
    std::vector<Entry> queue_; // under the bus's logger lock
    wxWeakRef<wxWindow> host_;
    wxWeakRef<wxWindow> main_;     // a CMainDialog
    wxWeakRef<wxWindow> aeqPage_;  // a CAeqCfgDialog
    wxWeakRef<wxWindow> ioPage_;   // a CIoCfgDialog
    wxWeakRef<wxWindow> reminder_; // a CHintFigureDialog
    std::map<int, wxWeakRef<wxTextCtrl>> panes_;
    std::map<int, uint32_t> paneColours_; // the colour in force at each pane's end
    void CreateEvbWindow(EvbBoardPage* page);
    void DropStaleEvbWindow();
    std::unique_ptr<EvbBoardPage> evbPages_[2];      // QX410x, QZ625x
    std::atomic<EvbBoardPage*> currentEvb_{nullptr}; // whose window exists or is on its way
    wxWeakRef<wxWindow> evbWindow_;                  // a CEvbCfgDialog
    wxWeakRef<wxWindow> pwrAmpPage_;                 // a CPwrAmpDialog
    std::function<void(uint32_t)> reminderWait_;
    TweaksService tweaks_;
    wxWeakRef<wxWindow> tweaksPage_; // a CTweaks_Dialog
    VolumeService volume_{bus_, tweaks_};
    wxWeakRef<wxWindow> volumePage_; // a CVolumeControl_Dialog
    wxWeakRef<wxWindow> scriptPage_; // a CScript_Dialog
    std::atomic<bool> tweaksRefreshPending_{false};
};

// The windowed logger when this thread is the GUI thread of a running wx
// GUI application; null otherwise.
std::unique_ptr<busgate::LoggerServices> CreateWxLogger(busgate::BusGate& bus);

// Keeps the toolkit's libraries loaded until the process ends (called when
// this code is loaded).
void KeepToolkitLoaded();

// The text of a queue entry: UTF-8, or Latin-1 where the bytes are no UTF-8.
wxString WideText(std::string_view text);

} // namespace loggerui
