#include <dlfcn.h>

#include <wx/dialog.h>
#include <wx/frame.h>
#include <wx/glcanvas.h>
#include <wx/modalhook.h>
#include <wx/timer.h>

#include "display_harness.h"

using display::Log;
using R = KURect<short>;

namespace {
wxSize Client(const KCWindow& w) {
    return static_cast<wxWindow*>(w.deviceContext)->GetClientSize();
}

// The modal dialog being shown, if any.
class DialogWatch : public wxModalDialogHook {
public:
    DialogWatch() { Register(); }
    ~DialogWatch() override { Unregister(); }
    wxDialog* shown = nullptr;

protected:
    int Enter(wxDialog* dialog) override {
        shown = dialog;
        return wxID_NONE;
    }
    void Exit(wxDialog*) override { shown = nullptr; }
};

// Closes a dialog as its window's close button would. The toolkit's own
// message box runs its own loop, which only the toolkit can end.
void CloseDialog(wxDialog* dialog) {
    using Respond = void (*)(void*, int);
    static const auto respond =
        reinterpret_cast<Respond>(dlsym(RTLD_DEFAULT, "gtk_dialog_response"));
    constexpr int kDeleteEvent = -4;
    if (respond != nullptr && dialog->GetHandle() != nullptr)
        respond(dialog->GetHandle(), kDeleteEvent);
    else
        dialog->EndModal(wxID_CANCEL);
}
} // namespace

TEST(Windows, ClientAreaFollowsBoundsAndResize) {
    REQUIRE_DISPLAY();
    for (int32_t kind : {kWinKindPlain, kWinKindOpenGL}) {
        Log log;
        KCWindow w;
        display::Open(w, display::Options(log, R(0, 0, 300, 400), kind));
        // The surface is laid out when the toolkit has placed the frame.
        display::PumpUntil([&] { return Client(w) == wxSize(400, 300); }, 2000);
        EXPECT_EQ(Client(w), wxSize(400, 300)) << kind;
        EXPECT_EQ(w.bounds, R(0, 0, 300, 400));
        EXPECT_GT(w.textHeight, 0);
        EXPECT_EQ(KMGetGLCanvas(w) != nullptr, kind == kWinKindOpenGL);

        ASSERT_EQ(KMResizeWindow(w, 500, 200, true), eNoErr);
        display::PumpUntil([&] { return Client(w) == wxSize(500, 200); }, 2000);
        EXPECT_EQ(Client(w), wxSize(500, 200)) << kind;
        EXPECT_EQ(w.bounds, R(0, 0, 200, 500));

        KCRegion visible;
        ASSERT_EQ(KMGetVisibleRegion(w, visible), eNoErr);
        R box;
        visible.GetBounds(box);
        EXPECT_EQ(box, R(0, 0, 200, 500));
        KMHideWindow(w);
        display::Pump(50);
        ASSERT_EQ(KMGetVisibleRegion(w, visible), eNoErr);
        EXPECT_TRUE(visible.IsEmpty());

        EXPECT_EQ(KMDisposeWindow(w), eNoErr);
        EXPECT_EQ(w.windowHandle, nullptr);
        EXPECT_EQ(w.deviceContext, nullptr);
        display::Pump(20);
    }
}

TEST(Windows, StylesKindsAndPlacement) {
    REQUIRE_DISPLAY();
    Log log;
    KCWindow bad;
    EXPECT_EQ(KMCreateWindow(display::Options(log, R(0, 0, 10, 10), 2), bad), eGenericSystemError);
    EXPECT_EQ(bad.windowHandle, nullptr);

    KCWindow top;
    ASSERT_EQ(KMCreateWindow(display::Options(log, R(10, 20, 110, 220), 1, 0x105), top), eNoErr);
    auto* frame = dynamic_cast<wxFrame*>(top.windowHandle);
    ASSERT_NE(frame, nullptr);
    const long style = frame->GetWindowStyleFlag();
    EXPECT_TRUE(style & wxCAPTION);
    EXPECT_TRUE(style & wxSYSTEM_MENU);
    EXPECT_TRUE(style & wxMINIMIZE_BOX);
    EXPECT_FALSE(style & wxMAXIMIZE_BOX);
    EXPECT_FALSE(frame->IsShown()); // a top-level window starts hidden
    EXPECT_EQ(frame->GetPosition(), wxPoint(20, 10));
    wxWindow* const first = top.windowHandle;
    EXPECT_EQ(KMCreateWindow(display::Options(log, R(0, 0, 10, 10)), top), eGenericSystemError);
    EXPECT_EQ(top.windowHandle, first);

    KCWindow child;
    KCWinCreateOpts childOptions = display::Options(log, R(5, 6, 50, 60), 0, 0x120);
    childOptions.parent = &top;
    ASSERT_EQ(KMCreateWindow(childOptions, child), eNoErr);
    EXPECT_FALSE(child.windowHandle->IsTopLevel());
    EXPECT_TRUE(child.windowHandle->IsShown());
    EXPECT_EQ(child.windowHandle->GetParent(), top.deviceContext);
    EXPECT_EQ(child.windowHandle->GetPosition(), wxPoint(6, 5));

    // Centred on the screen when there is no parent.
    KCWindow centred;
    ASSERT_EQ(KMCreateWindow(display::Options(log, R(0, 0, 100, 200), 0, 0x1F), centred), eNoErr);
    const wxSize screen = wxGetDisplaySize();
    R outer;
    ASSERT_EQ(KMGetWindowBounds(centred, outer), eNoErr);
    EXPECT_EQ(outer.left, (screen.x - outer.Width()) / 2);
    EXPECT_EQ(outer.top, (screen.y - outer.Height()) / 2);

    std::string title = "renamed";
    EXPECT_EQ(KMSetWindowTitle(&top, title), eNoErr);
    EXPECT_EQ(frame->GetTitle(), "renamed");

    KMDisposeWindow(child);
    KMDisposeWindow(top);
    KMDisposeWindow(centred);
    display::Pump(20);
}

TEST(Windows, InvalidatingDrawsAndCoordinatesRoundTrip) {
    REQUIRE_DISPLAY();
    Log log;
    KCWindow w;
    display::Open(w, display::Options(log, R(50, 60, 250, 360)));
    log.calls.clear();
    ASSERT_EQ(KMInvalidateRect(w, R(10, 20, 30, 40)), eNoErr);
    ASSERT_TRUE(display::PumpUntil([&] { return log.Count(eDraw) > 0; }));
    const R update = log.Last(eDraw)->data.GetUpdateRect();
    EXPECT_LE(update.top, 10);
    EXPECT_LE(update.left, 20);
    EXPECT_GE(update.bottom, 30);
    EXPECT_GE(update.right, 40);

    KCPoint<short> global, local;
    ASSERT_EQ(KMLocalToGlobal(w, KCPoint<short>(7, 9), global), eNoErr);
    ASSERT_EQ(KMGlobalToLocal(w, global, local), eNoErr);
    EXPECT_EQ(local, KCPoint<short>(7, 9));
    KMDisposeWindow(w);
    display::Pump(20);
}

TEST(Windows, UnhandledCloseEndsTheLoopAndTheWindowStays) {
    REQUIRE_DISPLAY();
    Log log;
    log.handleClose = false;
    KCWindow w;
    display::Open(w, display::Options(log, R(0, 0, 100, 100)));
    bool timedOut = false;
    wxTimer guard;
    guard.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        timedOut = true;
        KMQuitAppEventLoop();
    });
    guard.StartOnce(3000);
    wxTheApp->CallAfter([&] { w.windowHandle->Close(); });
    EXPECT_EQ(KMRunAppEventLoop(), eNoErr);
    guard.Stop();
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(log.Count(eWindowClose), 1u);
    ASSERT_NE(w.windowHandle, nullptr);
    EXPECT_TRUE(w.windowHandle->IsShown());
    EXPECT_EQ(KMEventLoopDepth(), 0);

    // A handled close leaves a running loop alone.
    log.handleClose = true;
    guard.StartOnce(300);
    wxTheApp->CallAfter([&] { w.windowHandle->Close(); });
    timedOut = false;
    KMRunAppEventLoop();
    EXPECT_TRUE(timedOut);
    EXPECT_EQ(log.Count(eWindowClose), 2u);
    KMDisposeWindow(w);
    display::Pump(20);
}

TEST(Windows, NestedModalLoopsEnableOnlyWhatTheyDisabled) {
    REQUIRE_DISPLAY();
    Log logA, logB, logModal, logInner;
    KCWindow a, b, off, modal, inner;
    display::Open(a, display::Options(logA, R(0, 0, 50, 50)));
    display::Open(b, display::Options(logB, R(0, 60, 50, 110)));
    display::Open(off, display::Options(logB, R(0, 120, 50, 170)));
    off.windowHandle->Enable(false); // disabled by someone else
    display::Open(modal, display::Options(logModal, R(100, 0, 150, 50)));
    KCWinCreateOpts innerOptions = display::Options(logInner, R(100, 60, 150, 110));
    ASSERT_EQ(KMCreateWindow(innerOptions, inner), eNoErr);

    bool checkedOuter = false, checkedInner = false;
    wxTheApp->CallAfter([&] {
        checkedOuter = !a.windowHandle->IsEnabled() && !b.windowHandle->IsEnabled() &&
                       modal.windowHandle->IsEnabled();
        KMShowWindow(inner);
        wxTheApp->CallAfter([&] {
            checkedInner = !modal.windowHandle->IsEnabled() && inner.windowHandle->IsEnabled();
            KMQuitModalEventLoop(nullptr);
        });
        KMRunModalEventLoop(inner);
        // Back in the outer loop: its window is enabled again, the others not.
        checkedOuter = checkedOuter && modal.windowHandle->IsEnabled() &&
                       !a.windowHandle->IsEnabled() && !b.windowHandle->IsEnabled();
        KMQuitModalEventLoop(nullptr);
    });
    wxTimer guard;
    guard.Bind(wxEVT_TIMER, [&](wxTimerEvent&) { KMQuitModalEventLoop(nullptr); });
    guard.StartOnce(5000);
    EXPECT_EQ(KMRunModalEventLoop(modal), eNoErr);
    guard.Stop();
    EXPECT_TRUE(checkedOuter);
    EXPECT_TRUE(checkedInner);
    EXPECT_TRUE(a.windowHandle->IsEnabled());
    EXPECT_TRUE(b.windowHandle->IsEnabled());
    EXPECT_FALSE(off.windowHandle->IsEnabled());
    // The framework reports the changes of state to the windows.
    ASSERT_EQ(logA.Count(eEnableState), 2u);
    EXPECT_EQ(logModal.Count(eEnableState), 2u);
    EXPECT_EQ(logA.calls.back().data.GetSystemMsg().Get().param, 1);
    for (KCWindow* w : {&a, &b, &off, &modal, &inner})
        KMDisposeWindow(*w);
    display::Pump(20);
}

TEST(Windows, RecordDestroyedBeforeItsWindowIsDetached) {
    REQUIRE_DISPLAY();
    Log log;
    auto* w = new KCWindow();
    display::Open(*w, display::Options(log, R(0, 0, 60, 60)));
    wxWindow* native = w->windowHandle;
    delete w; // forgot to dispose: the native window must not reach the record
    EXPECT_EQ(KMGetWindowRecord(native), nullptr);
    native->Refresh();
    display::Pump(50);
    native->Destroy();
    display::Pump(20);
}

TEST(Windows, StandardMessageBoxesAnswer) {
    REQUIRE_DISPLAY();
    Log log;
    KCWindow owner;
    display::Open(owner, display::Options(log, R(0, 0, 100, 100)));
    wxUIActionSimulator sim;
    int key = WXK_ESCAPE;
    int ticks = 0;
    bool gaveUp = false;
    DialogWatch watch;
    wxTimer typist;
    // Keys that never reach the box fail the test instead of leaving it open.
    typist.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        if (++ticks <= 20) {
            sim.Char(key);
        } else if (watch.shown != nullptr) {
            gaveUp = true;
            CloseDialog(watch.shown);
        }
    });

    struct Case {
        int32_t kind;
        int key;
        eKMMessageResult answer;
    } cases[] = {{3, WXK_ESCAPE, eKMCancel}, {0, WXK_RETURN, eKMOther}};
    for (const Case& c : cases) {
        KMMessageInfo info;
        info.owner = &owner;
        info.kind = c.kind;
        info.title = "Title";
        info.message = "Message";
        eKMMessageResult answer = eKMYes;
        key = c.key;
        ticks = 0;
        gaveUp = false;
        typist.Start(300);
        EXPECT_EQ(KMStandardMessage(&info, answer), eNoErr);
        typist.Stop();
        display::Pump(100);
        EXPECT_FALSE(gaveUp) << c.kind;
        EXPECT_EQ(answer, c.answer) << c.kind;
    }
    KMDisposeWindow(owner);
    display::Pump(20);
}

TEST(Windows, CentredOverAnotherWindow) {
    REQUIRE_DISPLAY();
    Log log;
    KCWindow parent, centred;
    display::Open(parent, display::Options(log, R(100, 100, 400, 500), kWinKindPlain));
    KCWinCreateOpts options = display::Options(log, R(0, 0, 100, 100), kWinKindPlain, 0x18);
    options.parent = &parent;
    ASSERT_EQ(KMCreateWindow(options, centred), eNoErr);
    R outer, relative;
    ASSERT_EQ(KMGetWindowBounds(centred, outer), eNoErr);
    ASSERT_EQ(KMGetWindowBounds(parent, relative), eNoErr);
    EXPECT_EQ(outer.left, relative.left + (relative.Width() - outer.Width()) / 2);
    EXPECT_EQ(outer.top, relative.top + (relative.Height() - outer.Height()) / 2);

    // A child window is placed in its parent's client coordinates.
    KCWindow child;
    KCWinCreateOpts childOptions = display::Options(log, R(0, 0, 20, 20), kWinKindPlain, 0x20);
    childOptions.parent = &parent;
    ASSERT_EQ(KMCreateWindow(childOptions, child), eNoErr);
    const wxPoint screen = display::Screen(parent, 30, 40);
    const KCPoint<short> at(static_cast<short>(screen.x), static_cast<short>(screen.y));
    ASSERT_EQ(KMRepositionWindow(child, &parent, at, false, false, true), eNoErr);
    EXPECT_EQ(child.windowHandle->GetPosition(), wxPoint(30, 40));
    for (KCWindow* w : {&child, &centred, &parent})
        KMDisposeWindow(*w);
    display::Pump(20);
}
