// The logger services the library's bus talks to: a stand-in that passes
// every call on to the implementation chosen at the first open (the
// windows when the process runs a GUI, else the headless logger). The
// choice is made once; calls from other threads see either implementation
// whole.
#pragma once

#include "busaccess/busgate/LoggerServices.h"

#include <atomic>

namespace busgate {

class LoggerChoice final : public LoggerServices {
public:
    explicit LoggerChoice(LoggerServices& initial) : target_(&initial) {}
    void Choose(LoggerServices& chosen) { target_.store(&chosen); }
    LoggerServices& Chosen() const { return *target_.load(); }

    HostWindow FindHostWindow() override { return Chosen().FindHostWindow(); }
    void CreateMainDialog(HostWindow owner) override { Chosen().CreateMainDialog(owner); }
    void CreateIoCfgDialog(HostWindow owner) override { Chosen().CreateIoCfgDialog(owner); }
    void CreateAeqCfgDialog(HostWindow owner) override { Chosen().CreateAeqCfgDialog(owner); }
    void CreateTweaksDialog(HostWindow owner) override { Chosen().CreateTweaksDialog(owner); }
    void CreatePwrAmpDialog(HostWindow owner) override { Chosen().CreatePwrAmpDialog(owner); }
    void CreateScriptDialog(HostWindow owner) override { Chosen().CreateScriptDialog(owner); }
    CEvbCfg_Dialog* CreateEvbDialog(int boardType) override {
        return Chosen().CreateEvbDialog(boardType);
    }
    void DestroyEvbDialogs() override { Chosen().DestroyEvbDialogs(); }

    bool MainWindowExists() const override { return Chosen().MainWindowExists(); }
    void ShowMainWindow() override { Chosen().ShowMainWindow(); }
    bool LoggingEnabled() const override { return Chosen().LoggingEnabled(); }
    bool LoggingSuspended() const override { return Chosen().LoggingSuspended(); }
    void SetLoggingSuspended(bool suspended) override { Chosen().SetLoggingSuspended(suspended); }
    void SetConnectionState(int state) override { Chosen().SetConnectionState(state); }
    void ArmTimer(int timer, int milliseconds) override { Chosen().ArmTimer(timer, milliseconds); }
    void EnableControl(int id, bool enable) override { Chosen().EnableControl(id, enable); }
    bool IsChecked(int id) const override { return Chosen().IsChecked(id); }
    void UpdateAfterOpen() override { Chosen().UpdateAfterOpen(); }
    void SetCaptureLabel(std::string_view label) override { Chosen().SetCaptureLabel(label); }

    void QueueSetColor(Pane pane, int code) override { Chosen().QueueSetColor(pane, code); }
    void QueueAppendText(Pane pane, std::string_view text) override {
        Chosen().QueueAppendText(pane, text);
    }
    void QueueClear(Pane pane) override { Chosen().QueueClear(pane); }

    void SetPwrAmpTimer(bool run) override { Chosen().SetPwrAmpTimer(run); }
    void HidePwrAmpDialog() override { Chosen().HidePwrAmpDialog(); }
    void PwrAmpApplyConfig() override { Chosen().PwrAmpApplyConfig(); }
    void IoInjectConfig() override { Chosen().IoInjectConfig(); }
    uint32_t IoGpioSelection2() const override { return Chosen().IoGpioSelection2(); }
    void AeqSendFilters() override { Chosen().AeqSendFilters(); }
    void TweaksEnable(int enable) override { Chosen().TweaksEnable(enable); }
    void TweaksConfigureSrc() override { Chosen().TweaksConfigureSrc(); }
    void TweaksCheckRunning() override { Chosen().TweaksCheckRunning(); }
    bool TweaksRunning() const override { return Chosen().TweaksRunning(); }
    void SetTweaksButton(std::string_view text, bool enable) override {
        Chosen().SetTweaksButton(text, enable);
    }
    void PumpMessages() override { Chosen().PumpMessages(); }
    void PumpDisplay() override { Chosen().PumpDisplay(); }

private:
    std::atomic<LoggerServices*> target_;
};

} // namespace busgate
