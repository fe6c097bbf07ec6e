// The main of the display tests: starts wx once for the whole run.
#include <cstdlib>

#include "display_harness.h"
#include "testsupport/WxTestMain.h"

namespace display {

bool Ready() {
    return wxtest::Ready();
}

void Pump(int ms) {
    wxtest::Pump(ms);
}

bool PumpUntil(const std::function<bool()>& done, int ms) {
    return wxtest::PumpUntil(done, ms);
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
    // The software rasterizer draws on the calling thread: no worker
    // threads live on to the leak check at exit.
    setenv("LP_NUM_THREADS", "0", 0);
    return wxtest::RunTests(
        argc, argv, [] { KMInit(nullptr); }, [] { KMDispose(); });
}
