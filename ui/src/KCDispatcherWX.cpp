#include "ui/KCDispatcherWX.h"

#include <wx/defs.h>

namespace {

// Platform keys with a special meaning. Several platform keys may give one
// code (the keypad's navigation keys give the same codes as the main keys);
// the first entry of a code is its reverse mapping.
struct KeyEntry {
    int32_t key;
    KEKeyCode code;
};

constexpr KeyEntry kKeyTable[] = {
    {WXK_ESCAPE, eKeyEscape},
    {WXK_BACK, eKeyBackspace},
    {WXK_TAB, eKeyTab},
    {WXK_RETURN, eKeyReturn},
    {WXK_NUMPAD_ENTER, eKeyReturn},
    {WXK_CLEAR, eKeyClear},
    {WXK_NUMPAD_BEGIN, eKeyClear},
    {WXK_UP, eKeyUpArrow},
    {WXK_NUMPAD_UP, eKeyUpArrow},
    {WXK_DOWN, eKeyDownArrow},
    {WXK_NUMPAD_DOWN, eKeyDownArrow},
    {WXK_LEFT, eKeyLeftArrow},
    {WXK_NUMPAD_LEFT, eKeyLeftArrow},
    {WXK_RIGHT, eKeyRightArrow},
    {WXK_NUMPAD_RIGHT, eKeyRightArrow},
    {WXK_HELP, eKeyHelp},
    {WXK_HOME, eKeyHome},
    {WXK_NUMPAD_HOME, eKeyHome},
    {WXK_PAGEUP, eKeyPageUp},
    {WXK_NUMPAD_PAGEUP, eKeyPageUp},
    {WXK_PAGEDOWN, eKeyPageDown},
    {WXK_NUMPAD_PAGEDOWN, eKeyPageDown},
    {WXK_DELETE, eKeyDelete},
    {WXK_NUMPAD_DELETE, eKeyDelete},
    {WXK_END, eKeyEnd},
    {WXK_NUMPAD_END, eKeyEnd},
    {WXK_F1, KEKeyCode(17)},
    {WXK_F2, KEKeyCode(18)},
    {WXK_F3, KEKeyCode(19)},
    {WXK_F4, KEKeyCode(20)},
    {WXK_F5, KEKeyCode(21)},
    {WXK_F6, KEKeyCode(22)},
    {WXK_F7, KEKeyCode(23)},
    {WXK_F8, KEKeyCode(24)},
    {WXK_F9, KEKeyCode(25)},
    {WXK_F10, KEKeyCode(26)},
    {WXK_F11, KEKeyCode(27)},
    {WXK_F12, KEKeyCode(28)},
    {WXK_F13, KEKeyCode(29)},
    {WXK_F14, KEKeyCode(30)},
    {WXK_F15, KEKeyCode(31)},
    {WXK_NUMPAD0, KEKeyCode(32)},
    {WXK_NUMPAD1, KEKeyCode(33)},
    {WXK_NUMPAD2, KEKeyCode(34)},
    {WXK_NUMPAD3, KEKeyCode(35)},
    {WXK_NUMPAD4, KEKeyCode(36)},
    {WXK_NUMPAD5, KEKeyCode(37)},
    {WXK_NUMPAD6, KEKeyCode(38)},
    {WXK_NUMPAD7, KEKeyCode(39)},
    {WXK_NUMPAD8, KEKeyCode(40)},
    {WXK_NUMPAD9, KEKeyCode(41)},
    {WXK_SPACE, eKeySpace},
};

// Key numbers of the same keys on the alternative platform, by key code.
constexpr int32_t kAlternativeKeys[kKeyCodeCount] = {
    0,   53,  51,  48,  36, 71,  76, 126, 125, 123, 124, 114, 115, 116, 121,
    117, 119, 122, 120, 99, 118, 96, 97,  98,  100, 101, 109, 103, 111, 105,
    107, 113, 82,  83,  84, 85,  86, 87,  88,  89,  91,  92,  49};

struct KeypadCharacter {
    int32_t key;
    char character;
};

constexpr KeypadCharacter kKeypadCharacters[] = {
    {WXK_NUMPAD_SPACE, ' '},   {WXK_NUMPAD_TAB, '\t'},
    {WXK_NUMPAD_ENTER, '\r'},  {WXK_NUMPAD_MULTIPLY, '*'},
    {WXK_NUMPAD_ADD, '+'},     {WXK_NUMPAD_SUBTRACT, '-'},
    {WXK_NUMPAD_DECIMAL, '.'}, {WXK_NUMPAD_DIVIDE, '/'},
    {WXK_MULTIPLY, '*'},       {WXK_ADD, '+'},
    {WXK_SUBTRACT, '-'},       {WXK_DECIMAL, '.'},
    {WXK_DIVIDE, '/'},
};

bool IsButtonMessage(uint32_t m, uint32_t first) {
    return m >= first && m < first + 3;
}

} // namespace

KEKeyCode KCDispatcherWX::VirtualKeyToKeyCode(int32_t key) {
    for (const KeyEntry& e : kKeyTable)
        if (e.key == key)
            return e.code;
    return eKeyNone;
}

int32_t KCDispatcherWX::KeyCodeToNativeKey(KEKeyCode code, bool alternative) {
    if (code < 0 || code >= kKeyCodeCount)
        return 0;
    if (alternative)
        return kAlternativeKeys[code];
    if (code == eKeyEnter)
        code = eKeyReturn;
    for (const KeyEntry& e : kKeyTable)
        if (e.code == code)
            return e.key;
    return 0;
}

char KCDispatcherWX::KeyCharacter(int32_t key) {
    // Key events carry the unshifted key: letters in upper case, digits and
    // the ASCII control keys as themselves.
    if (key > 0 && key < WXK_DELETE)
        return static_cast<char>(key);
    // The keypad's keys that type a character.
    if (key >= WXK_NUMPAD0 && key <= WXK_NUMPAD9)
        return static_cast<char>('0' + (key - WXK_NUMPAD0));
    for (const KeypadCharacter& k : kKeypadCharacters)
        if (k.key == key)
            return k.character;
    return 0;
}

bool KCDispatcherWX::Call(KEEventTypes event) {
    return handler != nullptr && handler(owner, event, &eventData, userData);
}

void KCDispatcherWX::Release(KCDispatcherWX* dispatcher) {
    if (dispatcher == nullptr)
        return;
    if (dispatcher->depth > 0) {
        dispatcher->orphaned = true;
        dispatcher->handler = nullptr;
        return;
    }
    delete dispatcher;
}

void KCDispatcherWX::EndDispatch() {
    if (--depth == 0 && orphaned)
        delete this;
}

bool KCDispatcherWX::DoMouseClickOutsideWindow() {
    ++depth;
    const bool handled = Call(eMouseClickOutsideWindow);
    EndDispatch();
    return handled;
}

bool KCDispatcherWX::Draw() {
    return Call(eDraw);
}

void KCDispatcherWX::LocationStep(const KSNativeMessage& m) {
    eventData.SetMouselocation(m.point);
}

void KCDispatcherWX::SetMouseButtonPressed(KCEventMessage& msg, bool down) {
    const uint32_t m = msg.Get().message;
    if (m == eNMCancelMode) {
        eventData.ResetMouseButtonState();
        return;
    }
    if (IsButtonMessage(m, eNMLeftDown))
        eventData.SetMouseButtonPressed(eMouseButtonLeft, down);
    else if (IsButtonMessage(m, eNMMiddleDown))
        eventData.SetMouseButtonPressed(eMouseButtonMiddle, down);
    else if (IsButtonMessage(m, eNMRightDown))
        eventData.SetMouseButtonPressed(eMouseButtonRight, down);
}

bool KCDispatcherWX::IsNeedToBlockMouseEvent(KCEventMessage& msg) {
    const uint32_t m = msg.Get().message;
    const bool* b = eventData.GetMouseButtonPressed();
    if (IsButtonMessage(m, eNMLeftDown))
        return b[eMouseButtonRight];
    if (IsButtonMessage(m, eNMRightDown))
        return b[eMouseButtonLeft];
    if (IsButtonMessage(m, eNMMiddleDown))
        return b[eMouseButtonLeft] || b[eMouseButtonRight];
    return false;
}

bool KCDispatcherWX::DoUpdate(KCEventMessage& m) {
    const KURect<short>& r = m.Get().rect;
    if (r.Width() > 0 && r.Height() > 0)
        eventData.SetUpdateRect(r);
    else
        eventData.Reset();
    return Draw();
}

bool KCDispatcherWX::DoCommand(KCEventMessage& m) {
    if (m.Get().param != 0)
        return false;
    ReadModifiers();
    const short command = static_cast<short>(m.Get().id & 0xFFFF);
    eventData.SetCommand(command);
    return Call(eCommand);
}

bool KCDispatcherWX::DoWindowDeactivate(KCEventMessage& m) {
    if (m.Get().param != 0)
        return false;
    return Call(eWindowDeactivate);
}

bool KCDispatcherWX::DoWindowClose(KCEventMessage&) {
    return Call(eWindowClose);
}

bool KCDispatcherWX::DoPreShowMenu(KCEventMessage& m) {
    eventData.SetMenuRef(m.Get().pointer);
    return Call(ePreShowMenu);
}

bool KCDispatcherWX::DoDeviceChange(KCEventMessage&) {
    return Call(eDeviceChange);
}

bool KCDispatcherWX::DoEnableState(KCEventMessage&) {
    return Call(eEnableState);
}

bool KCDispatcherWX::DoMouseDown(KCEventMessage& m) {
    if (IsNeedToBlockMouseEvent(m))
        return false;
    LocationStep(m.Get());
    eventData.SetMouseDownLocation(eventData.GetMouseLocation());
    eventData.SetMouseClickCount(eSingleClick);
    ReadModifiers();
    SetMouseButtonPressed(m, true);
    const bool handled = Call(eMouseDown);
    if (eventData.GetModalWindowOnMouseDownFlag()) {
        // The handler ran a modal window: the release went to that window,
        // so it is delivered here.
        eventData.SetModalWindowOnMouseDownFlag(false);
        return DoMouseUp(m);
    }
    return handled;
}

bool KCDispatcherWX::DoDoubleClick(KCEventMessage& m) {
    LocationStep(m.Get());
    eventData.SetMouseClickCount(eDoubleClick);
    ReadModifiers();
    SetMouseButtonPressed(m, true);
    return Call(eMouseDown);
}

bool KCDispatcherWX::DoMouseUp(KCEventMessage& m) {
    LocationStep(m.Get());
    ReadModifiers();
    const bool handled = Call(eMouseUp);
    eventData.SetMouseClickCount(eNoClick);
    SetMouseButtonPressed(m, false);
    return handled;
}

bool KCDispatcherWX::DoMouseMove(KCEventMessage& m) {
    LocationStep(m.Get());
    ReadModifiers();
    return Call(eMouseMove);
}

bool KCDispatcherWX::DoMouseWheelMoved(KCEventMessage& m) {
    const KSNativeMessage& msg = m.Get();
    const int32_t notch = msg.id > 0 ? msg.id : 120;
    // Movement of less than one notch is kept and added to the next message,
    // so that fine-grained wheels and touch pads still scroll. A turn the
    // other way starts afresh: what was kept must not swallow it.
    if ((pendingWheel > 0 && msg.param < 0) || (pendingWheel < 0 && msg.param > 0))
        pendingWheel = 0;
    const int64_t total = int64_t(pendingWheel) + msg.param;
    int64_t notches = total / notch;
    pendingWheel = static_cast<int32_t>(total - notches * notch);
    if (msg.lines == -1)
        notches *= 10;
    LocationStep(msg);
    eventData.SetMouseWheelDelta(static_cast<long>(notches));
    eventData.SetMouseWheelPressed(eWheelScrolled);
    ReadModifiers();
    return Call(eMouseWheel);
}

bool KCDispatcherWX::KeySteps(const KSNativeMessage& m, KEEventTypes event) {
    eventData.SetKeyCode(VirtualKeyToKeyCode(m.key));
    eventData.SetKeyChar(KeyCharacter(m.key));
    ReadModifiers();
    return Call(event);
}

bool KCDispatcherWX::DoKeyDown(KCEventMessage& m) {
    return KeySteps(m.Get(), eKeyDown);
}

bool KCDispatcherWX::DoKeyUp(KCEventMessage& m) {
    return KeySteps(m.Get(), eKeyUp);
}

bool KCDispatcherWX::HandleEvent(KCEventMessage& message) {
    ++depth;
    const bool handled = Translate(message);
    EndDispatch();
    return handled;
}

bool KCDispatcherWX::Translate(KCEventMessage& message) {
    if (handler == nullptr)
        return false;
    eventData.SetSystemMsg(message);
    // The steps read the caller's message: a handler that runs a nested loop
    // may see further messages overwrite the event data's copy.
    KCEventMessage& m = message;
    switch (m.Get().message) {
    case eNMActivate:
        return DoWindowDeactivate(m);
    case eNMEnable:
        return DoEnableState(m);
    case eNMPaint:
        return DoUpdate(m);
    case eNMClose:
        return DoWindowClose(m);
    case eNMCancelMode: {
        const bool* b = eventData.GetMouseButtonPressed();
        if (!(b[0] || b[1] || b[2]))
            return false;
        return DoMouseUp(m);
    }
    case eNMKeyDown:
        return DoKeyDown(m);
    case eNMKeyUp:
        return DoKeyUp(m);
    case eNMCommand:
        return DoCommand(m);
    case eNMInitMenuPopup:
        return DoPreShowMenu(m);
    case eNMMouseMove:
        return DoMouseMove(m);
    case eNMLeftDown:
    case eNMRightDown:
        return DoMouseDown(m);
    case eNMLeftUp:
    case eNMRightUp:
        return DoMouseUp(m);
    case eNMLeftDoubleClick:
    case eNMRightDoubleClick:
        return DoDoubleClick(m);
    case eNMMouseWheel:
        return DoMouseWheelMoved(m);
    case eNMDeviceChange:
        return DoDeviceChange(m);
    default:
        return false;
    }
}
