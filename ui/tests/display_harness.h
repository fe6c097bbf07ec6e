// Shared helpers of the tests that open real windows: wx is started once by
// the test main; tests pump its event loop with bounded waits.
#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/uiaction.h>
#include <wx/utils.h>
#include <wx/window.h>

#include "ui/KCDispatcherWX.h"
#include "ui/KMWindowManager.h"

namespace display {

// True when the test main could open the display.
bool Ready();

// Runs the event loop for about `ms` milliseconds.
void Pump(int ms);
// Runs the event loop until `done` answers true or `ms` milliseconds pass.
bool PumpUntil(const std::function<bool()>& done, int ms = 5000);

// Every handler call one window received.
struct Call {
    KEEventTypes event;
    KCEventData data;
};

struct Log {
    std::vector<Call> calls;
    bool answer = true;
    bool handleClose = true;
    std::function<void(KEEventTypes, KCEventData*)> onEvent;

    size_t Count(KEEventTypes e) const;
    const Call* Last(KEEventTypes e) const;
};

bool Handler(void* owner, KEEventTypes event, KCEventData* data, void* user);

// Options of a window at the given bounds whose events go to `log`.
KCWinCreateOpts Options(Log& log, KURect<short> bounds, int32_t kind = kWinKindOpenGL,
                        uint32_t flags = 0x7);

// Creates and shows a window and waits until it is on the screen.
void Open(KCWindow& window, const KCWinCreateOpts& options);

// The screen position of a client point of the window.
wxPoint Screen(const KCWindow& window, int x, int y);

} // namespace display

#define REQUIRE_DISPLAY()                                                                          \
    do {                                                                                           \
        if (!display::Ready())                                                                     \
            GTEST_SKIP() << "no display";                                                          \
    } while (0)
