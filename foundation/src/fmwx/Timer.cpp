#include "foundation/KCTimer.h"

#include <wx/app.h>
#include <wx/timer.h>

namespace {

KCTimer* gCurrent = nullptr;

// The one platform timer; it ticks on the event loop of the application's
// thread and calls the current KCTimer.
class TimerDriver : public wxTimer {
public:
    void Notify() override {
        if (gCurrent != nullptr)
            gCurrent->YourCallbackFunc();
    }
};

TimerDriver* gDriver = nullptr;
wxAppConsole* gDriverApp = nullptr; // the application the driver was made under
unsigned gLastID = 0;

TimerDriver* Driver() {
    if (gDriver != nullptr && gDriverApp != wxAppConsole::GetInstance()) {
        delete gDriver; // made under an application that is gone
        gDriver = nullptr;
    }
    if (gDriver == nullptr && wxAppConsole::GetInstance() != nullptr) {
        gDriver = new TimerDriver;
        gDriverApp = wxAppConsole::GetInstance();
    }
    return gDriver;
}

} // namespace

KCTimer::KCTimer(double seconds) : interval(seconds * 1000.0), timerID(0) {}

KCTimer::KCTimer(const KCTimer& other) : interval(other.interval), timerID(0) {}

KCTimer& KCTimer::operator=(const KCTimer& other) {
    // Only the interval is taken: a copy never claims to run the other's
    // platform timer.
    interval = other.interval;
    return *this;
}

KCTimer::~KCTimer() {
    Stop();
}

KCTimer* KCTimer::Current() {
    return gCurrent;
}

void KCTimer::Start() {
    if (timerID != 0 || gCurrent != nullptr)
        return;
    TimerDriver* driver = Driver();
    if (driver == nullptr)
        return; // no wx application, so no event loop to tick in
    // Whole milliseconds, at least 1; the comparisons come first so that no
    // out-of-range value (or NaN) is ever converted.
    int milliseconds = 1;
    if (interval >= 2147483647.0)
        milliseconds = 2147483647;
    else if (interval >= 1.0)
        milliseconds = static_cast<int>(interval);
    gCurrent = this;
    if (!driver->Start(milliseconds, wxTIMER_CONTINUOUS)) {
        gCurrent = nullptr; // stays stopped; a later Start may succeed
        return;
    }
    if (++gLastID == 0)
        ++gLastID;
    timerID = gLastID;
}

void KCTimer::Stop() {
    if (timerID == 0)
        return;
    if (gDriver != nullptr)
        gDriver->Stop();
    timerID = 0;
    gCurrent = nullptr;
}
