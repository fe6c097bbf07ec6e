// One wx application for the whole test program: a GUI application when
// a display is there, else a console one. Helpers run its event loop for a
// bounded time.
#pragma once

#include <wx/app.h>
#include <wx/apptrait.h>
#include <wx/evtloop.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>

inline bool HasDisplay() {
    const char* display = std::getenv("DISPLAY");
    return display != nullptr && display[0] != '\0';
}

class WxEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        // Toolkit settings stay in memory, never in the user's files.
        setenv("GSETTINGS_BACKEND", "memory", 1);
        if (HasDisplay())
            wxApp::SetInstance(new wxApp);
        else
            wxApp::SetInstance(new wxAppConsole);
        static int argc = 1;
        static char arg0[] = "foundation_fmwx_tests";
        static char* argv[] = {arg0, nullptr};
        // A failed wx check is a test failure, never a message box.
        wxSetAssertHandler([](const wxString& file, int line, const wxString& func,
                              const wxString& cond, const wxString& msg) {
            ADD_FAILURE_AT(file.utf8_string().c_str(), line)
                << "wx check failed in " << func.utf8_string() << ": " << cond.utf8_string() << " "
                << msg.utf8_string();
        });
        started = wxEntryStart(argc, argv);
        ASSERT_TRUE(started);
    }
    void TearDown() override {
        if (started)
            wxEntryCleanup();
    }

private:
    bool started = false;
};

// Dispatches events until `done` answers true or `timeoutMs` has passed;
// answers `done()`.
inline bool RunEventsUntil(const std::function<bool()>& done, int timeoutMs) {
    std::unique_ptr<wxEventLoopBase> loop(
        wxAppConsole::GetInstance()->GetTraits()->CreateEventLoop());
    wxEventLoopActivator activate(loop.get());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        loop->DispatchTimeout(5);
        wxAppConsole::GetInstance()->ProcessPendingEvents();
    }
    return done();
}
