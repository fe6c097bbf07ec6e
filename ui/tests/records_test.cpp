#include <type_traits>

#include <gtest/gtest.h>

#include "ui/KCCreationOptions.h"
#include "ui/KCDispatcherWX.h"
#include "ui/KCWindow.h"

static_assert(!std::is_copy_constructible_v<KCWindow> && !std::is_copy_assignable_v<KCWindow>);
static_assert(!std::is_copy_constructible_v<KCControl> && !std::is_copy_assignable_v<KCControl>);
static_assert(std::is_copy_constructible_v<KCEventData> && std::is_copy_assignable_v<KCEventData>);
static_assert(std::is_copy_constructible_v<KCEventMessage>);

TEST(EventData, FreshRecordAndReset) {
    KCEventData d;
    EXPECT_EQ(d.GetMouseWheelPressed(), eWheelIdle);
    EXPECT_EQ(d.GetMouseClickCount(), eNoClick);
    EXPECT_EQ(d.GetKeyCode(), eKeyNone);
    const bool none[4] = {false, false, false, false};
    EXPECT_TRUE(d.CompareKeyModifiers(none));
    EXPECT_FALSE(d.GetMouseButtonPressed()[0] || d.GetMouseButtonPressed()[1] ||
                 d.GetMouseButtonPressed()[2]);
    ASSERT_NE(d.GetSystemMsg().GetOSMessage(), nullptr);

    // Reset clears the transient state and keeps the rest.
    d.SetUpdateRect(KURect<short>(1, 2, 3, 4));
    d.SetMouseDownLocation(KCPoint<short>(5, 6));
    d.SetControlID(7);
    d.SetCommand(8);
    d.SetMouselocation(KCPoint<short>(9, 9));
    d.SetMouseWheelDelta(3);
    d.SetMouseWheelPressed(eWheelScrolled);
    d.SetKeyChar('x');
    d.SetKeyCode(eKeyTab);
    d.SetMouseButtonPressed(eMouseButtonRight, true);
    d.SetKeyModifier(eModifierAlt, true);
    d.SetModalWindowOnMouseDownFlag(true);
    d.SetMenuRef(&d);
    d.Reset();
    EXPECT_EQ(d.GetMouseLocation(), KCPoint<short>());
    EXPECT_EQ(d.GetMouseDelta(), KCPoint<short>());
    EXPECT_EQ(d.GetMouseWheelDelta(), 0);
    EXPECT_EQ(d.GetMouseWheelPressed(), eWheelIdle);
    EXPECT_EQ(d.GetKeyChar(), 0);
    EXPECT_EQ(d.GetKeyCode(), eKeyNone);
    EXPECT_FALSE(d.GetMouseButtonPressed()[eMouseButtonRight]);
    EXPECT_TRUE(d.CompareKeyModifiers(none));
    EXPECT_FALSE(d.GetModalWindowOnMouseDownFlag());
    EXPECT_EQ(d.GetMenu_Ref(), nullptr);
    EXPECT_EQ(d.GetUpdateRect(), KURect<short>(1, 2, 3, 4));
    EXPECT_EQ(d.GetMouseDownLocation(), KCPoint<short>(5, 6));
    EXPECT_EQ(d.GetControlID(), 7);
    EXPECT_EQ(d.GetCommand(), 8);
}

TEST(EventData, MouseDeltaHasReversedY) {
    KCEventData d;
    d.SetMouselocation(KCPoint<short>(10, 10));
    d.SetMouselocation(KCPoint<short>(13, 7));
    EXPECT_EQ(d.GetMouseDelta(), KCPoint<short>(3, 3));
    d.SetMouselocation(KCPoint<short>(10, 10));
    EXPECT_EQ(d.GetMouseDelta(), KCPoint<short>(-3, -3));
    // SetMouseDelta ignores its argument and recomputes from the locations.
    d.SetMouseDelta(KCPoint<short>(100, 100));
    EXPECT_EQ(d.GetMouseDelta(), KCPoint<short>(0, 0));

    d.SetMouseDownLocation(KCPoint<short>(4, 4));
    EXPECT_EQ(d.GetMouseDistanceFromDragStart(), KCPoint<short>(6, 6));
}

TEST(EventData, ModifiersAndTranslate) {
    KCEventData d;
    d.SetKeyModifier(KEModifier(5), true);
    const bool none[4] = {false, false, false, false};
    EXPECT_TRUE(d.CompareKeyModifiers(none));
    d.SetKeyModifier(eModifierShift, true);
    const bool* m = d.GetKeyModifiers();
    EXPECT_FALSE(m[0] || m[1] || m[3]);
    EXPECT_TRUE(m[2]);
    for (int i = 0; i < 4; ++i) {
        bool other[4] = {false, false, true, false};
        other[i] = !other[i];
        EXPECT_FALSE(d.CompareKeyModifiers(other)) << i;
    }

    d.SetUpdateRect(KURect<short>(10, 20, 30, 40));
    d.SetMouselocation(KCPoint<short>(1, 1));
    d.SetMouseDownLocation(KCPoint<short>(2, 2));
    const KCPoint<short> delta = d.GetMouseDelta();
    d.Translate(KCPoint<short>(5, -2));
    EXPECT_EQ(d.GetUpdateRect(), KURect<short>(8, 25, 28, 45));
    EXPECT_EQ(d.GetMouseLocation(), KCPoint<short>(6, -1));
    EXPECT_EQ(d.GetPreviousMouseLocation(), KCPoint<short>(6, -1));
    EXPECT_EQ(d.GetMouseDownLocation(), KCPoint<short>(7, 0));
    EXPECT_EQ(d.GetMouseDelta(), delta);
}

TEST(EventData, CopiesCarryTheMessage) {
    KSNativeMessage raw;
    raw.message = eNMKeyDown;
    raw.key = 'Q';
    KCEventData d;
    d.SetSystemMsg(KCEventMessage(raw));
    d.SetKeyCode(eKeyEscape);

    KCEventData copy(d);
    ASSERT_NE(copy.GetSystemMsg().GetOSMessage(), d.GetSystemMsg().GetOSMessage());
    EXPECT_EQ(copy.GetSystemMsg().Get().key, 'Q');
    EXPECT_EQ(copy.GetKeyCode(), eKeyEscape);

    KCEventData assigned;
    void* own = assigned.GetSystemMsg().GetOSMessage();
    assigned = d;
    EXPECT_EQ(assigned.GetSystemMsg().GetOSMessage(), own); // copied into its own record
    EXPECT_EQ(assigned.GetSystemMsg().Get().message, uint32_t(eNMKeyDown));

    KCEventMessage m(raw);
    KCEventMessage m2(m);
    m.Get().key = 'Z';
    EXPECT_EQ(m2.Get().key, 'Q');
}

TEST(Records, ConstructionDefaults) {
    KCWindow w;
    EXPECT_EQ(w.windowHandle, nullptr);
    ASSERT_NE(w.dispatcher, nullptr);
    EXPECT_EQ(w.bounds, KURect<short>());
    EXPECT_EQ(w.doubleBuffered, 1);
    EXPECT_EQ(w.contextThread, KCWindow::kInvalidThreadID);
    EXPECT_EQ(w.textHeight, 0);
    EXPECT_EQ(w.dispatcher->GetDispatcherCallBack(), nullptr);

    KCWinCreateOpts o;
    EXPECT_EQ(o.flags, 0x7u);
    EXPECT_EQ(o.kind, 1);
    EXPECT_EQ(o.parent, nullptr);

    KCControlCreationOptions c;
    EXPECT_EQ(c.controlID, 99);
    EXPECT_EQ(c.controlType, 0);
    KCListControlCreationOptions l;
    EXPECT_EQ(l.unused1, 1);
    EXPECT_EQ(l.unused2, 50);
}
