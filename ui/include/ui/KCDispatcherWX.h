// The dispatcher of a framework window or edit control on wxWidgets.
//
// Toolkit events are first translated into the framework's own message
// record (KSNativeMessage); HandleEvent turns one message into at most one
// call of the installed handler, keeping the window's KCEventData up to date.
// HandleEvent needs no display: tests feed it synthetic messages.
#pragma once

#include "ui/KCWindow.h"

class KCDispatcherWX : public KCDispatcherAbs {
public:
    KCDispatcherWX() = default;
    ~KCDispatcherWX() override = default;

    bool HandleEvent(KCEventMessage& message) override;
    bool DoMouseClickOutsideWindow() override;

    // Platform key code (wx key code) to the framework's key code; 0 for a
    // key without a special meaning.
    static KEKeyCode VirtualKeyToKeyCode(int32_t key);
    // The framework's key code to the platform key code, or with
    // `alternative` to the key number of the alternative platform.
    static int32_t KeyCodeToNativeKey(KEKeyCode code, bool alternative);
    // The character a key event carries: the key's unshifted character, 0
    // when it has none.
    static char KeyCharacter(int32_t key);

    // Deletes the dispatcher, or, while it is handling a message (a handler
    // that disposes of its own window), once that message is done.
    static void Release(KCDispatcherWX* dispatcher);

    // Wheel movement kept back because it made less than one notch.
    int32_t GetPendingWheelRotation() const { return pendingWheel; }

protected:
    bool Draw();
    bool DoUpdate(KCEventMessage& m);
    bool DoCommand(KCEventMessage& m);
    bool DoWindowDeactivate(KCEventMessage& m);
    bool DoWindowClose(KCEventMessage& m);
    bool DoPreShowMenu(KCEventMessage& m);
    bool DoDeviceChange(KCEventMessage& m);
    bool DoEnableState(KCEventMessage& m);
    bool DoMouseDown(KCEventMessage& m);
    bool DoDoubleClick(KCEventMessage& m);
    bool DoMouseUp(KCEventMessage& m);
    bool DoMouseMove(KCEventMessage& m);
    bool DoMouseWheelMoved(KCEventMessage& m);
    bool DoKeyDown(KCEventMessage& m);
    bool DoKeyUp(KCEventMessage& m);

private:
    bool Translate(KCEventMessage& message);
    void EndDispatch();
    bool Call(KEEventTypes event);
    void LocationStep(const KSNativeMessage& m);
    void ReadModifiers() { eventData.UpdateKeyModifiersStateFromSys(); }
    bool KeySteps(const KSNativeMessage& m, KEEventTypes event);
    void SetMouseButtonPressed(KCEventMessage& m, bool down);
    bool IsNeedToBlockMouseEvent(KCEventMessage& m);

    int32_t pendingWheel = 0;
    int depth = 0;
    bool orphaned = false;
};
