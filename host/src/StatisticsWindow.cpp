#include "host/StatisticsWindow.h"

#include <cstdio>

#include "audio/CpuMeter.h"
#include "ui/KCCreationOptions.h"
#include "ui/KMWindowManager.h"

namespace {

std::string FormatLine(const char* label, int64_t microseconds, double percentage) {
    char text[128];
    std::snprintf(text, sizeof text, "%s (micSec)= %d, CPU usage= %.3f%%", label,
                  static_cast<int>(microseconds), percentage);
    return text;
}

KTErr CreateLine(KCWindow& parent, const char* text, short top, KCControl& control) {
    KCControlCreationOptions options;
    options.controlType = kControlStaticText;
    options.text = text;
    options.parent = &parent;
    options.bounds = KURect<short>(top, 20, static_cast<short>(top + 20), 370);
    return KMCreateControl(options, control);
}

} // namespace

std::string KCStatisticsWindow::FormatIdleLine(int64_t microseconds, double percentage) {
    return FormatLine("Idle", microseconds, percentage);
}

std::string KCStatisticsWindow::FormatProcessLine(int64_t microseconds, double percentage) {
    return FormatLine("Process", microseconds, percentage);
}

KTErr KCStatisticsWindow::Init() {
    KCWinCreateOpts options;
    options.flags =
        (options.flags & ~kWinFlagDefault) | kWinFlagCentreHorizontally | kWinFlagCentreVertically;
    options.kind = kWinKindPlain;
    options.title = "Statistics";
    options.bounds = KURect<short>(0, 0, 100, 400);
    options.handler = &KCStatisticsWindow::DisaptcherCallBack;
    options.userData = this;
    KTErr err = KMCreateWindow(options, window);
    if (err == eNoErr)
        err = CreateLine(window, "Idle time:", 20, idleLine);
    if (err == eNoErr)
        err = CreateLine(window, "Process time:", 40, processLine);
    return err;
}

void KCStatisticsWindow::Refresh() {
    int64_t idleMicroseconds = 0;
    const double idlePercentage = CpuMeter::GetIdleLoad(idleMicroseconds);
    int64_t processMicroseconds = 0;
    double processPercentage = 0.0;
    CpuMeter::GetProcessLoad(processMicroseconds, processPercentage);
    KMSetControlText(idleLine, FormatIdleLine(idleMicroseconds, idlePercentage));
    KMSetControlText(processLine, FormatProcessLine(processMicroseconds, processPercentage));
    KURect<short> bounds;
    if (KMGetWindowBounds(window, bounds) == eNoErr)
        KMInvalidateRect(window, bounds);
}

void KCStatisticsWindow::ShowWindow(bool show) {
    if (show ? KMShowWindow(window) == eNoErr : KMHideWindow(window) == eNoErr)
        shown = show;
}

void KCStatisticsWindow::Dispose() {
    KMDisposeControl(idleLine);
    KMDisposeControl(processLine);
    KMDisposeWindow(window);
    shown = false;
}

bool KCStatisticsWindow::DisaptcherCallBack(void*, KEEventTypes event, KCEventData*,
                                            void* userData) {
    if (event != eWindowClose)
        return false;
    static_cast<KCStatisticsWindow*>(userData)->ShowWindow(false);
    return true;
}
