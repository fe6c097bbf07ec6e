// The logger services of a process without a display: no window is
// created, and every text that would reach the traffic or status pane is
// written, in order and with its colour code, to a text sink.
//
// One record a line:  <pane> <colour> "<text>"   (pane "traffic",
// "status" or "evb"; C escapes for \n, \t, \\ and "), or  <pane> clear.
// The sink is the file named by QUORL_BUSGATE_LOG when it is set, else the
// trace sink (QUORL_TRACE or stderr).
#pragma once

#include "busaccess/busgate/LoggerServices.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace busgate {

class HeadlessLogger final : public LoggerServices {
public:
    using Writer = std::function<void(std::string_view record)>;
    // writer: null for the default sink described above.
    explicit HeadlessLogger(Writer writer = nullptr);
    ~HeadlessLogger() override;

    // The settings a user would set in the windows (tests script these).
    void SetChecked(int id, bool checked);
    void SetGpioSelection2(uint32_t value) { gpioSelection2_ = value; }
    void SetLoggingEnabled(bool enabled) { loggingEnabled_ = enabled; }
    // What the windows would show.
    bool IsEnabled(int id) const;
    int ConnectionState() const { return connectionState_; }
    const std::string& CaptureLabel() const { return captureLabel_; }
    int EvbDialogType() const { return evbType_; }
    int UpdateAfterOpenCount() const { return updates_; }
    bool PwrAmpTimerRunning() const { return pwrAmpTimer_; }

    HostWindow FindHostWindow() override { return nullptr; }
    void CreateMainDialog(HostWindow owner) override;
    void CreateIoCfgDialog(HostWindow) override {}
    void CreateAeqCfgDialog(HostWindow) override {}
    void CreateTweaksDialog(HostWindow) override {}
    void CreatePwrAmpDialog(HostWindow) override {}
    void CreateScriptDialog(HostWindow) override {}
    CEvbCfg_Dialog* CreateEvbDialog(int boardType) override;
    void DestroyEvbDialogs() override;

    bool MainWindowExists() const override { return mainExists_; }
    void ShowMainWindow() override {}
    bool LoggingEnabled() const override { return loggingEnabled_; }
    bool LoggingSuspended() const override { return loggingSuspended_; }
    void SetLoggingSuspended(bool suspended) override { loggingSuspended_ = suspended; }
    void SetConnectionState(int state) override { connectionState_ = state; }
    void ArmTimer(int, int) override {}
    void EnableControl(int id, bool enable) override;
    bool IsChecked(int id) const override;
    void UpdateAfterOpen() override { ++updates_; }
    void SetCaptureLabel(std::string_view label) override { captureLabel_ = label; }

    void QueueSetColor(Pane pane, int code) override;
    void QueueAppendText(Pane pane, std::string_view text) override;
    void QueueClear(Pane pane) override;

    void SetPwrAmpTimer(bool run) override { pwrAmpTimer_ = run; }
    void HidePwrAmpDialog() override {}
    void PwrAmpApplyConfig() override {}
    void IoInjectConfig() override {}
    uint32_t IoGpioSelection2() const override { return gpioSelection2_; }
    void AeqSendFilters() override {}
    void TweaksEnable(int enable) override { tweaksRunning_ = enable != 0; }
    void TweaksConfigureSrc() override {}
    void TweaksCheckRunning() override {}
    bool TweaksRunning() const override { return tweaksRunning_; }
    void SetTweaksButton(std::string_view, bool) override {}
    void PumpMessages() override {}

private:
    Writer writer_;
    std::mutex mutex_;
    std::map<int, bool> checked_;
    std::map<int, bool> enabled_;
    int colour_[3] = {1, 1, 1};
    bool mainExists_ = false;
    bool loggingEnabled_ = true;
    bool loggingSuspended_ = false;
    bool tweaksRunning_ = false;
    bool pwrAmpTimer_ = false;
    int connectionState_ = 0;
    int evbType_ = 0;
    int updates_ = 0;
    uint32_t gpioSelection2_ = 0x000040;
    std::string captureLabel_ = " -- Empty -- ";
    std::unique_ptr<CEvbCfg_Dialog> evb_;
};

// "traffic 2 \"* Chip I2C address 0x73 \\n \"" for (Traffic, 2, text).
std::string HeadlessRecord(Pane pane, int colour, std::string_view text);

} // namespace busgate
