// The main of the logger's window tests: starts wx once for the run.
#include "WxTestApp.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>
#include <wx/utils.h>

#include <chrono>
#include <cstdlib>

namespace {

bool ready = false;

// A failed wx assertion fails the running test instead of opening a dialog.
void OnWxAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                const wxString& msg) {
    ADD_FAILURE() << "wx assertion failed: " << cond.utf8_string() << " " << msg.utf8_string()
                  << " in " << func.utf8_string() << " at " << file.utf8_string() << ":" << line;
}

class TestApp : public wxApp {
public:
    bool OnInit() override { return true; }
};

} // namespace

namespace wxtest {

bool Ready() {
    return ready;
}

void Pump(int ms) {
    PumpUntil([] { return false; }, ms);
}

bool PumpUntil(const std::function<bool()>& done, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        wxTheApp->Yield(true);
        wxTheApp->ProcessPendingEvents();
        wxTheApp->ProcessIdle();
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        wxMilliSleep(2);
    }
}

} // namespace wxtest

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const bool listing = ::testing::GTEST_FLAG(list_tests);
    const char* name = std::getenv("DISPLAY");
    bool started = false;
    if (!listing && name != nullptr && *name != '\0') {
        wxApp::SetInstance(new TestApp());
        int wxArgc = 1;
        char* wxArgv[] = {argv[0], nullptr};
        started = wxEntryStart(wxArgc, wxArgv) && wxTheApp->CallOnInit();
        ready = started;
        if (started)
            wxSetAssertHandler(OnWxAssert);
    }
    const int result = RUN_ALL_TESTS();
    if (started) {
        wxTheApp->OnExit();
        wxEntryCleanup();
    }
    return result;
}
