// The main of the display tests: starts wx once for the whole run.
#include <cstdlib>

#include <wx/init.h>

#include "display_harness.h"

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

namespace display {

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
        wxMilliSleep(5);
    }
}

size_t Log::Count(KEEventTypes e) const {
    size_t n = 0;
    for (const Call& c : calls)
        n += c.event == e;
    return n;
}

const Call* Log::Last(KEEventTypes e) const {
    for (auto it = calls.rbegin(); it != calls.rend(); ++it)
        if (it->event == e)
            return &*it;
    return nullptr;
}

bool Handler(void*, KEEventTypes event, KCEventData* data, void* user) {
    auto* log = static_cast<Log*>(user);
    log->calls.push_back({event, *data});
    if (log->onEvent)
        log->onEvent(event, data);
    if (event == eWindowClose)
        return log->handleClose;
    return log->answer;
}

KCWinCreateOpts Options(Log& log, KURect<short> bounds, int32_t kind, uint32_t flags) {
    KCWinCreateOpts o;
    o.flags = flags;
    o.bounds = bounds;
    o.kind = kind;
    o.handler = Handler;
    o.userData = &log;
    o.title = "test window";
    return o;
}

void Open(KCWindow& window, const KCWinCreateOpts& options) {
    ASSERT_EQ(KMCreateWindow(options, window), eNoErr);
    ASSERT_EQ(KMShowWindow(window), eNoErr);
    auto* surface = static_cast<wxWindow*>(window.deviceContext);
    ASSERT_TRUE(PumpUntil([&] { return surface->IsShownOnScreen(); }));
    Pump(100);
}

wxPoint Screen(const KCWindow& window, int x, int y) {
    KCPoint<short> global;
    KMLocalToGlobal(window, KCPoint<short>(static_cast<short>(x), static_cast<short>(y)), global);
    return wxPoint(global.x, global.y);
}

} // namespace display

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const bool listing = ::testing::GTEST_FLAG(list_tests);
    const char* name = std::getenv("DISPLAY");
    bool started = false;
    if (!listing && name != nullptr && *name != '\0') {
        // The software rasterizer draws on the calling thread: no worker
        // threads live on to the leak check at exit.
        setenv("LP_NUM_THREADS", "0", 0);
        wxApp::SetInstance(new TestApp());
        int wxArgc = 1;
        char* wxArgv[] = {argv[0], nullptr};
        started = wxEntryStart(wxArgc, wxArgv) && wxTheApp->CallOnInit();
        ready = started;
        if (started) {
            wxSetAssertHandler(OnWxAssert);
            KMInit(nullptr);
        }
    }
    const int result = RUN_ALL_TESTS();
    if (started) {
        KMDispose();
        wxTheApp->OnExit();
        wxEntryCleanup();
    }
    return result;
}
