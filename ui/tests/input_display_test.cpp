#include "display_harness.h"

using display::Log;
using R = KURect<short>;

namespace {

class Input : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        display::Open(window, display::Options(log, R(100, 100, 400, 500)));
        surface = static_cast<wxWindow*>(window.deviceContext);
        surface->SetFocus();
        display::Pump(50);
    }
    void TearDown() override {
        if (window.windowHandle != nullptr)
            KMDisposeWindow(window);
        if (display::Ready())
            display::Pump(20);
    }
    void MoveTo(int x, int y) {
        sim.MouseMove(display::Screen(window, x, y));
        display::PumpUntil([&] {
            const display::Call* c = log.Last(eMouseMove);
            return c && c->data.GetMouseLocation() == KCPoint<short>(x, y);
        });
    }

    Log log;
    KCWindow window;
    wxWindow* surface = nullptr;
    wxUIActionSimulator sim;
};

} // namespace

TEST_F(Input, RealClickGivesDownThenUp) {
    MoveTo(20, 25);
    log.calls.clear();
    sim.MouseClick();
    ASSERT_TRUE(display::PumpUntil([&] { return log.Count(eMouseUp) > 0; }));
    const display::Call* down = log.Last(eMouseDown);
    ASSERT_NE(down, nullptr);
    EXPECT_EQ(down->data.GetMouseClickCount(), eSingleClick);
    EXPECT_EQ(down->data.GetMouseLocation(), KCPoint<short>(20, 25));
    EXPECT_TRUE(down->data.GetMouseButtonPressed()[eMouseButtonLeft]);
    EXPECT_LT(down - log.calls.data(), log.Last(eMouseUp) - log.calls.data());
    EXPECT_EQ(window.dispatcher->GetEventData().GetMouseClickCount(), eNoClick);
}

TEST_F(Input, RealDoubleClick) {
    MoveTo(50, 60);
    log.calls.clear();
    sim.MouseDblClick();
    ASSERT_TRUE(display::PumpUntil([&] { return log.Count(eMouseUp) >= 2; }));
    display::Pump(50);
    std::vector<std::pair<KEEventTypes, KEClickCount>> seen;
    for (const display::Call& c : log.calls)
        if (c.event == eMouseDown || c.event == eMouseUp)
            seen.emplace_back(c.event, c.data.GetMouseClickCount());
    const std::vector<std::pair<KEEventTypes, KEClickCount>> expected{{eMouseDown, eSingleClick},
                                                                      {eMouseUp, eSingleClick},
                                                                      {eMouseDown, eDoubleClick},
                                                                      {eMouseUp, eDoubleClick}};
    EXPECT_EQ(seen, expected);
}

TEST_F(Input, MovesCarryTheReversedDelta) {
    MoveTo(10, 10);
    MoveTo(13, 7);
    const display::Call* move = log.Last(eMouseMove);
    ASSERT_NE(move, nullptr);
    EXPECT_EQ(move->data.GetMouseLocation(), KCPoint<short>(13, 7));
    EXPECT_EQ(move->data.GetMouseDelta(), KCPoint<short>(3, 3));
}

TEST_F(Input, WheelNotchesReachTheHandler) {
    for (int rotation : {120, 60, 60}) {
        wxMouseEvent wheel(wxEVT_MOUSEWHEEL);
        wheel.SetEventObject(surface);
        wheel.m_x = 5;
        wheel.m_y = 6;
        wheel.m_wheelRotation = rotation;
        wheel.m_wheelDelta = 120;
        wheel.m_linesPerAction = 3;
        surface->GetEventHandler()->ProcessEvent(wheel);
    }
    ASSERT_EQ(log.Count(eMouseWheel), 3u);
    std::vector<long> deltas;
    for (const display::Call& c : log.calls)
        if (c.event == eMouseWheel)
            deltas.push_back(c.data.GetMouseWheelDelta());
    EXPECT_EQ(deltas, (std::vector<long>{1, 0, 1}));
}

TEST_F(Input, KeysGiveCodesAndCharacters) {
    log.calls.clear();
    sim.Char('a');
    sim.Char(WXK_ESCAPE);
    ASSERT_TRUE(display::PumpUntil([&] { return log.Count(eKeyUp) >= 2; }));
    std::vector<std::pair<KEKeyCode, char>> downs;
    for (const display::Call& c : log.calls)
        if (c.event == eKeyDown)
            downs.emplace_back(c.data.GetKeyCode(), c.data.GetKeyChar());
    ASSERT_EQ(downs.size(), 2u);
    EXPECT_EQ(downs[0], std::make_pair(eKeyNone, 'A'));
    EXPECT_EQ(downs[1], std::make_pair(eKeyEscape, char(27)));
}

TEST_F(Input, LostCaptureCancelsTheMouseMode) {
    MoveTo(30, 30);
    ASSERT_EQ(KMSetCapture(window), eNoErr);
    EXPECT_EQ(KMSetCapture(window), eNoErr); // paired: capturing twice is harmless
    EXPECT_TRUE(surface->HasCapture());
    sim.MouseDown();
    ASSERT_TRUE(display::PumpUntil([&] { return log.Count(eMouseDown) > 0; }));
    log.calls.clear();
    wxMouseCaptureLostEvent lost(surface->GetId());
    lost.SetEventObject(surface);
    surface->GetEventHandler()->ProcessEvent(lost);
    ASSERT_EQ(log.Count(eMouseUp), 1u);
    const bool* b = window.dispatcher->GetEventData().GetMouseButtonPressed();
    EXPECT_FALSE(b[0] || b[1] || b[2]);
    // With no button down the window does not handle it, yet the loss
    // always counts as processed (the toolkit insists on it).
    log.answer = false;
    wxMouseCaptureLostEvent again(surface->GetId());
    again.SetEventObject(surface);
    EXPECT_TRUE(surface->GetEventHandler()->ProcessEvent(again));
    EXPECT_EQ(log.Count(eMouseUp), 1u);
    if (surface->HasCapture())
        surface->ReleaseMouse();
    sim.MouseUp();
    display::Pump(50);
    EXPECT_EQ(KMReleaseCapture(), eNoErr);
}

TEST_F(Input, HandlerMayDisposeOfItsWindowDuringAClick) {
    log.onEvent = [&](KEEventTypes e, KCEventData*) {
        if (e == eMouseDown)
            KMDisposeWindow(window);
    };
    MoveTo(40, 40);
    sim.MouseClick();
    ASSERT_TRUE(display::PumpUntil([&] { return window.windowHandle == nullptr; }));
    display::Pump(100);
    EXPECT_EQ(log.Count(eMouseDown), 1u);
}
