// What the bus library uses of its logger windows. The windows themselves
// live elsewhere; HeadlessLogger is the implementation for a process without
// a display.
#pragma once

#include "busaccess/busgate/LoggerLock.h"

#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>

namespace busgate {

// The two panes of the main logger window, and the status pane of the
// evaluation-board dialog (its amplifier and S/PDIF reports).
enum class Pane : uint8_t { Traffic, Status, Evb };

// Control and check-box identifiers of the logger windows.
namespace ctl {
inline constexpr int kClearLogOnStart = 1037;
inline constexpr int kEvbConfig = 1067;
inline constexpr int kPwmAndAmp = 1307;
inline constexpr int kSpeakersRotation = 1133;
inline constexpr int kProgramAll = 1045;
inline constexpr int kPresetSelector = 1337;
inline constexpr int kFlashErase = 1049;
inline constexpr int kProgramTuningOnly = 1051;
inline constexpr int kConfigureAeqAtPreset = 1203;
inline constexpr int kConfigIoAtPreset = 1155;
inline constexpr int kConfigPwrAmpAtPreset = 1335;
inline constexpr int kEnableTweaksAtPreset = 1341;
inline constexpr int kConfigSrcPllAtPreset = 1165;
} // namespace ctl

// Timers of the main window.
inline constexpr int kTimerLogQueue = 1;
inline constexpr int kTimerCaptureLabel = 2;
inline constexpr int kTimerConnection = 3;

// Connection states shown by the main window.
inline constexpr int kDisconnected = 0;
inline constexpr int kChipAlive = 1;
inline constexpr int kChipAliveWithMarker = 2;

// Base of the evaluation-board dialogs; the plain object does nothing.
class CEvbCfg_Dialog {
public:
    virtual ~CEvbCfg_Dialog() = default;
    virtual void BoardIdentified() {}
    virtual void BeforeReset() {}
    virtual void AfterSetup() {}
};

using HostWindow = void*;

class LoggerServices {
public:
    virtual ~LoggerServices() = default;

    // The host's editor window of this process, retitled; null when there is
    // none (always null without a GUI).
    virtual HostWindow FindHostWindow() = 0;

    // Dialog creation: each does nothing when its dialog exists.
    virtual void CreateMainDialog(HostWindow owner) = 0;
    virtual void CreateIoCfgDialog(HostWindow owner) = 0;
    virtual void CreateAeqCfgDialog(HostWindow owner) = 0;
    virtual void CreateTweaksDialog(HostWindow owner) = 0;
    virtual void CreatePwrAmpDialog(HostWindow owner) = 0;
    virtual void CreateScriptDialog(HostWindow owner) = 0;
    // The evaluation-board dialog of board type 1 or 4, created once; it
    // stays owned by the services.
    virtual CEvbCfg_Dialog* CreateEvbDialog(int boardType) = 0;
    // Destroys an evaluation-board dialog window that exists.
    virtual void DestroyEvbDialogs() = 0;

    // Main window.
    virtual bool MainWindowExists() const = 0;
    virtual void ShowMainWindow() = 0;
    virtual bool LoggingEnabled() const = 0;
    virtual bool LoggingSuspended() const = 0;
    virtual void SetLoggingSuspended(bool suspended) = 0;
    virtual void SetConnectionState(int state) = 0;
    virtual void ArmTimer(int timer, int milliseconds) = 0;
    virtual void EnableControl(int id, bool enable) = 0;
    virtual bool IsChecked(int id) const = 0;
    virtual void UpdateAfterOpen() = 0;
    // Shown by the main window's capture-label timer.
    virtual void SetCaptureLabel(std::string_view label) = 0;

    // The log queue: colour codes 1-7, text, clear.
    virtual void QueueSetColor(Pane pane, int code) = 0;
    virtual void QueueAppendText(Pane pane, std::string_view text) = 0;
    virtual void QueueClear(Pane pane) = 0;

    // Power-amplifier dialog.
    virtual void SetPwrAmpTimer(bool run) = 0;
    virtual void HidePwrAmpDialog() = 0;
    virtual void PwrAmpApplyConfig() = 0;
    // I/O dialog.
    virtual void IoInjectConfig() = 0;
    virtual uint32_t IoGpioSelection2() const = 0;
    // AEQ dialog.
    virtual void AeqSendFilters() = 0;
    // Tweaks dialog.
    virtual void TweaksEnable(int enable) = 0;
    virtual void TweaksConfigureSrc() = 0;
    virtual void TweaksCheckRunning() = 0;
    virtual bool TweaksRunning() const = 0;
    virtual void SetTweaksButton(std::string_view text, bool enable) = 0;

    // Dispatches the window messages that are waiting (nothing headless).
    virtual void PumpMessages() = 0;
    // Inside an operation that holds the library's lock: lets the windows
    // repaint and their timers run, and keeps the user's input for later,
    // so that nothing re-enters the library (nothing headless).
    virtual void PumpDisplay() {}
};

// The coloured log functions shared by every implementation: they remember
// the colour set last on each pane so that a colour is queued only when it
// changes. Both remembered codes are 0 (none yet) at first and after a
// clear. With a lock, every function runs under it, so callers on any
// thread see one order of entries and one remembered code.
class LogQueue {
public:
    explicit LogQueue(LoggerServices& ui, LoggerLock* lock = nullptr) : ui_(ui), lock_(lock) {}
    // Traffic pane.
    void SetTrafficColor(int code);
    void Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Append(std::string_view text);
    void ResetFormat();
    // Status pane.
    void SetColorIfChanged(int code);
    void PrintfMain(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void ResetFormatMain();
    // Evaluation-board status pane: every colour is queued.
    void SetEvbColor(int code);
    void PrintfEvb(const char* format, ...) __attribute__((format(printf, 2, 3)));

private:
    class Hold;
    void PrintfTo(Pane pane, const char* format, va_list args);

    LoggerServices& ui_;
    LoggerLock* lock_;
    int trafficColour_ = 0;
    int statusColour_ = 0;
};

// The COLORREF (0x00BBGGRR) of a log colour code: 2 0x008000, 3 0x0000FF,
// 4 0xFF0000, 5 0xE22B8A, 6 0x008CFF, 7 0x808000, any other 0 (black).
uint32_t LogColourRef(int code);

// True when text is a valid C identifier: an ASCII letter or '_', then
// ASCII letters, digits or '_' (whatever the process locale).
bool IsValidFunctionName(std::string_view text);
bool IsValidFunctionName(std::wstring_view text);

// A formatted message of at most limit - 1 bytes whose cut falls inside a
// UTF-8 character loses that character's first bytes too.
std::string FormatMessage(std::size_t limit, const char* format, va_list args);

} // namespace busgate
