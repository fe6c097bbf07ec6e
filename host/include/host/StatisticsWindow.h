// The "Statistics" window: the idle load of the GUI thread and the processing
// load of the plug-in chain, refreshed from the CPU meter.
#pragma once

#include <string>

#include "foundation/KTErr.h"
#include "ui/KCWindow.h"

class KCStatisticsWindow {
public:
    KCStatisticsWindow() = default;
    KCStatisticsWindow(const KCStatisticsWindow&) = delete;
    KCStatisticsWindow& operator=(const KCStatisticsWindow&) = delete;
    // Frees the records; the native window goes only through Dispose.
    virtual ~KCStatisticsWindow() = default;

    // Creates the window (hidden) and its two lines; the first failing
    // creation's status.
    KTErr Init();
    // Reads and resets the meter and shows the figures.
    void Refresh();
    void ShowWindow(bool show);
    bool IsShown() const { return shown; }
    void Dispose();

    // Closing only hides the window.
    static bool DisaptcherCallBack(void* owner, KEEventTypes event, KCEventData* data,
                                   void* userData);

    // The texts of the two lines (idle first).
    static std::string FormatIdleLine(int64_t microseconds, double percentage);
    static std::string FormatProcessLine(int64_t microseconds, double percentage);

    KCWindow& GetWindow() { return window; }
    KCControl& GetIdleLine() { return idleLine; }
    KCControl& GetProcessLine() { return processLine; }

private:
    KCWindow window;
    KCControl idleLine;
    KCControl processLine;
    bool shown = false;
};
