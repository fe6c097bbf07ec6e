#include "testsupport/WxTestMain.h"

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

int RunTests(int argc, char** argv, const std::function<void()>& started,
             const std::function<void()>& stopping) {
    ::testing::InitGoogleTest(&argc, argv);
    const bool listing = ::testing::GTEST_FLAG(list_tests);
    const char* name = std::getenv("DISPLAY");
    bool running = false;
    if (!listing && name != nullptr && *name != '\0') {
        wxApp::SetInstance(new TestApp());
        int wxArgc = 1;
        char* wxArgv[] = {argv[0], nullptr};
        running = wxEntryStart(wxArgc, wxArgv) && wxTheApp->CallOnInit();
        ready = running;
        if (running) {
            wxSetAssertHandler(OnWxAssert);
            if (started)
                started();
        }
    }
    const int result = RUN_ALL_TESTS();
    if (running) {
        if (stopping)
            stopping();
        wxTheApp->OnExit();
        wxEntryCleanup();
    }
    return result;
}

} // namespace wxtest
