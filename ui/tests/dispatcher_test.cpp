#include <vector>

#include <gtest/gtest.h>
#include <wx/defs.h>
#include <wx/event.h>

#include "KMNative.h"
#include "ui/KCDispatcherWX.h"
#include "ui/KMWindowManager.h"

namespace {

struct Seen {
    KEEventTypes event;
    KCEventData data; // a copy as the handler saw it
};

struct Recorder {
    std::vector<Seen> calls;
    bool answer = true;
    bool setModalFlagOnDown = false;
    KCWindow* deleteOnEvent = nullptr;
    KEEventTypes deleteEvent = eMouseUp;
};

bool Record(void* owner, KEEventTypes event, KCEventData* data, void* user) {
    auto* r = static_cast<Recorder*>(user);
    r->calls.push_back({event, *data});
    if (event == eMouseDown && r->setModalFlagOnDown)
        data->SetModalWindowOnMouseDownFlag(true);
    if (r->deleteOnEvent != nullptr && event == r->deleteEvent && owner == r->deleteOnEvent) {
        delete r->deleteOnEvent;
        r->deleteOnEvent = nullptr;
    }
    return r->answer;
}

KSNativeMessage Msg(uint32_t message, short x = 0, short y = 0) {
    KSNativeMessage m;
    m.message = message;
    m.point = KCPoint<short>(x, y);
    return m;
}

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override { window.dispatcher->InstallEventHandler(&window, &rec, Record); }
    bool Send(const KSNativeMessage& m) {
        KCEventMessage wrapped(m);
        return window.dispatcher->HandleEvent(wrapped);
    }
    const KCEventData& Data() { return window.dispatcher->GetEventData(); }

    KCWindow window;
    Recorder rec;
};

} // namespace

TEST_F(Dispatch, EveryMessageGivesItsEvent) {
    struct Case {
        KSNativeMessage msg;
        bool called;
        KEEventTypes event;
    };
    KSNativeMessage inactive = Msg(eNMActivate), active = Msg(eNMActivate);
    active.param = 1;
    KSNativeMessage notification = Msg(eNMCommand);
    notification.param = 1;
    const Case cases[] = {
        {inactive, true, eWindowDeactivate},
        {active, false, eMouseDown},
        {Msg(eNMSetFocus), false, eMouseDown},
        {Msg(eNMKillFocus), false, eMouseDown},
        {Msg(eNMEnable), true, eEnableState},
        {Msg(eNMPaint), true, eDraw},
        {Msg(eNMClose), true, eWindowClose},
        {Msg(eNMCancelMode), false, eMouseUp}, // no button down
        {Msg(eNMKeyDown), true, eKeyDown},
        {Msg(eNMKeyUp), true, eKeyUp},
        {Msg(eNMCommand), true, eCommand},
        {notification, false, eCommand},
        {Msg(eNMInitMenuPopup), true, ePreShowMenu},
        {Msg(eNMMouseMove), true, eMouseMove},
        {Msg(eNMMouseWheel), true, eMouseWheel},
        {Msg(eNMDeviceChange), true, eDeviceChange},
        {Msg(eNMMiddleDown), false, eMouseDown},
        {Msg(eNMMiddleUp), false, eMouseDown},
        {Msg(eNMMiddleDoubleClick), false, eMouseDown},
    };
    for (const Case& c : cases) {
        rec.calls.clear();
        const bool handled = Send(c.msg);
        ASSERT_EQ(rec.calls.size(), c.called ? 1u : 0u) << c.msg.message;
        EXPECT_EQ(handled, c.called) << c.msg.message;
        if (c.called) {
            EXPECT_EQ(rec.calls[0].event, c.event) << c.msg.message;
        }
    }
    // A handler that answers false leaves the message unhandled.
    rec.answer = false;
    EXPECT_FALSE(Send(Msg(eNMClose)));
}

TEST_F(Dispatch, ClickAndDoubleClick) {
    Send(Msg(eNMMouseMove, 10, 10));
    Send(Msg(eNMLeftDown, 20, 25));
    Send(Msg(eNMLeftUp, 20, 25));
    Send(Msg(eNMLeftDoubleClick, 21, 25));
    Send(Msg(eNMLeftUp, 21, 25));
    ASSERT_EQ(rec.calls.size(), 5u);
    const Seen& down = rec.calls[1];
    EXPECT_EQ(down.event, eMouseDown);
    EXPECT_EQ(down.data.GetMouseClickCount(), eSingleClick);
    EXPECT_EQ(down.data.GetMouseLocation(), KCPoint<short>(20, 25));
    EXPECT_EQ(down.data.GetMouseDownLocation(), KCPoint<short>(20, 25));
    EXPECT_EQ(down.data.GetMouseDelta(), KCPoint<short>(10, -15));
    EXPECT_TRUE(down.data.GetMouseButtonPressed()[eMouseButtonLeft]);
    EXPECT_EQ(down.data.GetSystemMsg().Get().message, uint32_t(eNMLeftDown));
    const Seen& up = rec.calls[2];
    EXPECT_EQ(up.event, eMouseUp);
    EXPECT_EQ(up.data.GetMouseClickCount(), eSingleClick); // still 1 during the release
    const Seen& dbl = rec.calls[3];
    EXPECT_EQ(dbl.event, eMouseDown);
    EXPECT_EQ(dbl.data.GetMouseClickCount(), eDoubleClick);
    EXPECT_EQ(dbl.data.GetMouseDownLocation(), KCPoint<short>(20, 25)); // not moved
    EXPECT_EQ(rec.calls[4].event, eMouseUp);
    EXPECT_EQ(Data().GetMouseClickCount(), eNoClick);
    EXPECT_FALSE(Data().GetMouseButtonPressed()[eMouseButtonLeft]);
}

TEST_F(Dispatch, SecondButtonIsBlockedWhileOneIsDown) {
    Send(Msg(eNMLeftDown, 1, 1));
    rec.calls.clear();
    EXPECT_FALSE(Send(Msg(eNMRightDown, 2, 2)));
    EXPECT_TRUE(rec.calls.empty());
    EXPECT_TRUE(Send(Msg(eNMRightUp, 2, 2)));
    ASSERT_EQ(rec.calls.size(), 1u);
    EXPECT_EQ(rec.calls[0].event, eMouseUp);
    // The other way round too.
    Send(Msg(eNMLeftUp));
    Send(Msg(eNMRightDown));
    rec.calls.clear();
    EXPECT_FALSE(Send(Msg(eNMLeftDown)));
    EXPECT_TRUE(rec.calls.empty());
}

TEST_F(Dispatch, CancelModeReleasesAHeldButton) {
    Send(Msg(eNMRightDown, 4, 4));
    rec.calls.clear();
    EXPECT_TRUE(Send(Msg(eNMCancelMode, 4, 4)));
    ASSERT_EQ(rec.calls.size(), 1u);
    EXPECT_EQ(rec.calls[0].event, eMouseUp);
    const bool* b = Data().GetMouseButtonPressed();
    EXPECT_FALSE(b[0] || b[1] || b[2]);
    EXPECT_EQ(Data().GetMouseClickCount(), eNoClick);
}

TEST_F(Dispatch, ModalWindowOnMouseDownDeliversTheRelease) {
    rec.setModalFlagOnDown = true;
    Send(Msg(eNMLeftDown, 7, 8));
    ASSERT_EQ(rec.calls.size(), 2u);
    EXPECT_EQ(rec.calls[0].event, eMouseDown);
    EXPECT_EQ(rec.calls[1].event, eMouseUp);
    EXPECT_EQ(rec.calls[1].data.GetSystemMsg().Get().message, uint32_t(eNMLeftDown));
    EXPECT_FALSE(Data().GetModalWindowOnMouseDownFlag());
    EXPECT_FALSE(Data().GetMouseButtonPressed()[eMouseButtonLeft]);
}

TEST_F(Dispatch, WheelNotchesAndPartialMovement) {
    struct Step {
        int32_t rotation;
        int32_t lines;
        long expected;
    } steps[] = {
        {120, 3, 1},   {-240, 3, -2}, {60, 3, 0},   {60, 3, 1}, // halves add up
        {-50, 3, 0},   {-50, 3, 0},   {-20, 3, -1},             //
        {60, 3, 0},    {-120, 3, -1}, // turning back is not eaten by what was kept
        {120, -1, 10},                // whole pages
    };
    for (const Step& s : steps) {
        KSNativeMessage m = Msg(eNMMouseWheel, 3, 4);
        m.param = s.rotation;
        m.id = 120;
        m.lines = s.lines;
        rec.calls.clear();
        Send(m);
        ASSERT_EQ(rec.calls.size(), 1u);
        EXPECT_EQ(rec.calls[0].data.GetMouseWheelDelta(), s.expected) << s.rotation;
        EXPECT_EQ(rec.calls[0].data.GetMouseWheelPressed(), eWheelScrolled);
        EXPECT_EQ(rec.calls[0].data.GetMouseLocation(), KCPoint<short>(3, 4));
    }
}

TEST_F(Dispatch, KeysCommandsMenusAndPaint) {
    KSNativeMessage key = Msg(eNMKeyDown);
    key.key = 'A';
    key.modifiers[eModifierShift] = true;
    Send(key);
    ASSERT_EQ(rec.calls.size(), 1u);
    EXPECT_EQ(rec.calls[0].data.GetKeyCode(), eKeyNone);
    EXPECT_EQ(rec.calls[0].data.GetKeyChar(), 'A');
    EXPECT_TRUE(rec.calls[0].data.GetKeyModifiers()[eModifierShift]);

    key.key = WXK_ESCAPE;
    key.modifiers[eModifierShift] = false;
    Send(key);
    EXPECT_EQ(rec.calls[1].data.GetKeyCode(), eKeyEscape);
    EXPECT_EQ(rec.calls[1].data.GetKeyChar(), 27);
    EXPECT_FALSE(rec.calls[1].data.GetKeyModifiers()[eModifierShift]);

    // A later mouse event keeps the key code of the last key event.
    Send(Msg(eNMMouseMove, 1, 1));
    EXPECT_EQ(rec.calls[2].data.GetKeyCode(), eKeyEscape);

    KSNativeMessage command = Msg(eNMCommand);
    command.id = 0x10005;
    command.modifiers[eModifierControl] = true;
    Send(command);
    EXPECT_EQ(rec.calls[3].data.GetCommand(), 5);
    EXPECT_TRUE(rec.calls[3].data.GetKeyModifiers()[eModifierControl]);

    int menu = 0;
    KSNativeMessage popup = Msg(eNMInitMenuPopup);
    popup.pointer = &menu;
    Send(popup);
    EXPECT_EQ(rec.calls[4].data.GetMenu_Ref(), &menu);

    KSNativeMessage paint = Msg(eNMPaint);
    paint.rect = KURect<short>(1, 2, 30, 40);
    Send(paint);
    EXPECT_EQ(rec.calls[5].data.GetUpdateRect(), KURect<short>(1, 2, 30, 40));
    // Without an update rectangle the record is reset and keeps the old one.
    Send(Msg(eNMPaint));
    EXPECT_EQ(rec.calls[6].data.GetUpdateRect(), KURect<short>(1, 2, 30, 40));
    EXPECT_EQ(rec.calls[6].data.GetKeyCode(), eKeyNone);
}

TEST_F(Dispatch, HandlerMayDisposeOfItsOwnWindow) {
    auto* doomed = new KCWindow();
    doomed->dispatcher->InstallEventHandler(doomed, &rec, Record);
    rec.deleteOnEvent = doomed;
    rec.deleteEvent = eMouseUp;
    KCEventMessage down(Msg(eNMLeftDown));
    KCEventMessage up(Msg(eNMLeftUp));
    doomed->dispatcher->HandleEvent(down);
    KCDispatcherWX* d = doomed->dispatcher;
    EXPECT_TRUE(d->HandleEvent(up)); // the record goes away inside the call
    EXPECT_EQ(rec.deleteOnEvent, nullptr);
}

TEST(DispatcherNoHandler, NothingIsHandled) {
    KCWindow w;
    KCEventMessage m(Msg(eNMClose));
    EXPECT_FALSE(w.dispatcher->HandleEvent(m));
    EXPECT_FALSE(w.dispatcher->DoMouseClickOutsideWindow());
}

TEST(KeyTables, ForwardAndReverse) {
    for (int code = 1; code < kKeyCodeCount; ++code) {
        const int32_t native = KCDispatcherWX::KeyCodeToNativeKey(KEKeyCode(code), false);
        ASSERT_NE(native, 0) << code;
        const KEKeyCode back = KCDispatcherWX::VirtualKeyToKeyCode(native);
        EXPECT_EQ(back, code == eKeyEnter ? eKeyReturn : KEKeyCode(code)) << code;
    }
    EXPECT_EQ(KCDispatcherWX::KeyCodeToNativeKey(eKeyNone, false), 0);
    EXPECT_EQ(KCDispatcherWX::KeyCodeToNativeKey(eKeyEnter, false), WXK_RETURN);
    EXPECT_EQ(KCDispatcherWX::KeyCodeToNativeKey(KEKeyCode(43), false), 0);
    EXPECT_EQ(KCDispatcherWX::VirtualKeyToKeyCode(WXK_F1), KEKeyCode(17));
    EXPECT_EQ(KCDispatcherWX::VirtualKeyToKeyCode(WXK_F15), KEKeyCode(31));
    EXPECT_EQ(KCDispatcherWX::VirtualKeyToKeyCode(WXK_F16), eKeyNone);
    EXPECT_EQ(KCDispatcherWX::VirtualKeyToKeyCode(WXK_NUMPAD_HOME), eKeyHome);
    EXPECT_EQ(KCDispatcherWX::VirtualKeyToKeyCode('a'), eKeyNone);
    struct Alt {
        KEKeyCode code;
        int32_t key;
    } alternatives[] = {{eKeyNone, 0},     {eKeyEscape, 53}, {eKeyReturn, 36},
                        {eKeyEnter, 76},   {eKeyF1, 122},    {eKeyNumPad0, 82},
                        {eKeyNumPad9, 92}, {eKeySpace, 49},  {eKeyUpArrow, 126}};
    for (const Alt& a : alternatives)
        EXPECT_EQ(KCDispatcherWX::KeyCodeToNativeKey(a.code, true), a.key) << a.code;
}

// A key event carries the character the key types without Shift, the
// keypad's included; keys that type nothing carry 0.
TEST(KeyTables, CharacterOfAKey) {
    struct Case {
        int32_t key;
        char character;
    } cases[] = {
        {'A', 'A'},
        {'7', '7'},
        {WXK_SPACE, ' '},
        {WXK_RETURN, '\r'},
        {WXK_BACK, '\b'},
        {WXK_NUMPAD0, '0'},
        {WXK_NUMPAD9, '9'},
        {WXK_NUMPAD_ENTER, '\r'},
        {WXK_NUMPAD_ADD, '+'},
        {WXK_NUMPAD_DECIMAL, '.'},
        {WXK_DELETE, 0},
        {WXK_F1, 0},
        {WXK_LEFT, 0},
        {WXK_NUMPAD_HOME, 0},
        {WXK_SHIFT, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(KCDispatcherWX::KeyCharacter(c.key), c.character) << c.key;
}

TEST(WindowProcedure, UnhandledCloseEndsTheNextLoop) {
    KCWindow w;
    Recorder rec;
    rec.answer = false;
    w.dispatcher->InstallEventHandler(&w, &rec, Record);
    EXPECT_FALSE(KMNative::WindowEventHandler(&w, Msg(eNMClose)));
    EXPECT_EQ(KMRunAppEventLoop(), eNoErr); // consumed the quit at once
    rec.answer = true;
    EXPECT_TRUE(KMNative::WindowEventHandler(&w, Msg(eNMClose)));
    // No pending quit now, and without a wx application no loop can run.
    EXPECT_EQ(KMRunAppEventLoop(), eGenericSystemError);
}

TEST(Translation, WxEventsBecomeMessages) {
    wxMouseEvent down(wxEVT_LEFT_DOWN);
    down.m_x = 20;
    down.m_y = 25;
    down.m_shiftDown = true;
    KSNativeMessage m;
    ASSERT_TRUE(KMNative::TranslateMouse(down, m));
    EXPECT_EQ(m.message, uint32_t(eNMLeftDown));
    EXPECT_EQ(m.point, KCPoint<short>(20, 25));
    EXPECT_TRUE(m.modifiers[eModifierShift]);

    wxMouseEvent wheel(wxEVT_MOUSEWHEEL);
    wheel.m_wheelRotation = -120;
    wheel.m_wheelDelta = 120;
    wheel.m_linesPerAction = 3;
    ASSERT_TRUE(KMNative::TranslateMouse(wheel, m));
    EXPECT_EQ(m.message, uint32_t(eNMMouseWheel));
    EXPECT_EQ(m.param, -120);
    EXPECT_EQ(m.lines, 3);
    wheel.m_wheelAxis = wxMOUSE_WHEEL_HORIZONTAL;
    EXPECT_FALSE(KMNative::TranslateMouse(wheel, m));

    wxMouseEvent enter(wxEVT_ENTER_WINDOW);
    EXPECT_FALSE(KMNative::TranslateMouse(enter, m));

    wxKeyEvent key(wxEVT_KEY_UP);
    key.m_keyCode = WXK_F3;
    key.m_controlDown = true;
    ASSERT_TRUE(KMNative::TranslateKey(key, false, m));
    EXPECT_EQ(m.message, uint32_t(eNMKeyUp));
    EXPECT_EQ(m.key, WXK_F3);
    EXPECT_TRUE(m.modifiers[eModifierControl]);
}
