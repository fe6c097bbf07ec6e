// Window records and events shared by the host and plug-in editors.
//
// KCWindow and KCEventData cross the boundary between the host and a
// plug-in: their field order and field widths are part of the plug-in
// interface and are checked below. Everything in this header is readable
// without linking the window manager, except the constructors of the records
// that own a dispatcher.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "foundation/KTErr.h"
#include "foundation/KThread.h"
#include "foundation/KURect.h"

class wxWindow;
class wxGLContext;
class KCDispatcherWX;

// ---------------------------------------------------------------------------
// Enumerations (32-bit; the values are part of the plug-in interface)

enum KEMouseButton : int32_t {
    eMouseButtonLeft = 0,
    eMouseButtonMiddle = 1,
    eMouseButtonRight = 2,
};

enum KEModifier : int32_t {
    eModifierControl = 0,
    eModifierWindows = 1,
    eModifierShift = 2,
    eModifierAlt = 3,
};

enum KEClickCount : int32_t {
    eNoClick = 0,
    eSingleClick = 1,
    eDoubleClick = 2,
};

enum KEMouseWheel : int32_t {
    eWheelScrolled = 1,
    eWheelIdle = 2,
};

enum KEEventTypes : int32_t {
    eMouseDown = 0,
    eMouseUp = 1,
    eMouseMove = 2,
    eMouseWheel = 3,
    eKeyDown = 4,
    eKeyUp = 5,
    eCommand = 6,
    eWindowDeactivate = 7,
    eWindowClose = 8,
    eDraw = 9,
    eMouseClickOutsideWindow = 10,
    ePreShowMenu = 11,
    eDeviceChange = 12,
    eEnableState = 13,
};

enum KEKeyCode : int32_t {
    eKeyNone = 0,
    eKeyEscape = 1,
    eKeyBackspace = 2,
    eKeyTab = 3,
    eKeyReturn = 4,
    eKeyClear = 5,
    eKeyEnter = 6,
    eKeyUpArrow = 7,
    eKeyDownArrow = 8,
    eKeyLeftArrow = 9,
    eKeyRightArrow = 10,
    eKeyHelp = 11,
    eKeyHome = 12,
    eKeyPageUp = 13,
    eKeyPageDown = 14,
    eKeyDelete = 15,
    eKeyEnd = 16,
    eKeyF1 = 17,
    eKeyF15 = 31,
    eKeyNumPad0 = 32,
    eKeyNumPad9 = 41,
    eKeySpace = 42,
};
constexpr int kKeyCodeCount = 43;

// ---------------------------------------------------------------------------
// The framework's own message record: one event of the platform, translated
// from the toolkit's event before it reaches a dispatcher.

enum KENativeMessage : uint32_t {
    eNMNone = 0,
    eNMActivate,      // param: 1 activated, 0 deactivated
    eNMSetFocus,      //
    eNMKillFocus,     //
    eNMEnable,        // param: 1 enabled, 0 disabled
    eNMPaint,         // rect: the update rectangle (empty: none)
    eNMClose,         //
    eNMCancelMode,    // the mouse mode was cancelled (capture lost)
    eNMKeyDown,       // key: the platform key code
    eNMKeyUp,         // key: the platform key code
    eNMCommand,       // id: the command; param: notification (0 menu command or button click)
    eNMInitMenuPopup, // pointer: the menu about to show
    eNMMouseMove,     // point: client coordinates (all mouse messages)
    eNMLeftDown,
    eNMLeftUp,
    eNMLeftDoubleClick,
    eNMRightDown,
    eNMRightUp,
    eNMRightDoubleClick,
    eNMMiddleDown,
    eNMMiddleUp,
    eNMMiddleDoubleClick,
    eNMMouseWheel,   // param: rotation; lines: lines per notch (-1 whole pages); id: one notch
    eNMDeviceChange, //
    eNMMessageCount
};

struct KSNativeMessage {
    void* window = nullptr;     // the native window the message is for
    uint32_t message = eNMNone; // KENativeMessage
    int32_t param = 0;
    int32_t id = 0;
    int32_t key = 0;
    int32_t lines = 0;
    KCPoint<short> point;
    KURect<short> rect;
    // Control, Windows (Super), Shift and Alt as they were when the event
    // happened (the key state of the message queue).
    bool modifiers[4] = {false, false, false, false};
    void* pointer = nullptr;
    uint32_t time = 0;
};

// ---------------------------------------------------------------------------
// KCEventMessage: an owned copy of one message. Copies are deep.

class KCEventMessage {
public:
    KCEventMessage() : msg(new KSNativeMessage()) {}
    explicit KCEventMessage(const KSNativeMessage& m) : msg(new KSNativeMessage(m)) {}
    KCEventMessage(const KCEventMessage& o) : msg(new KSNativeMessage(*o.msg)) {}
    KCEventMessage& operator=(const KCEventMessage& o) {
        *msg = *o.msg;
        return *this;
    }
    ~KCEventMessage() { delete msg; }

    void* GetOSMessage() const { return msg; }
    const KSNativeMessage& Get() const { return *msg; }
    KSNativeMessage& Get() { return *msg; }

private:
    KSNativeMessage* msg;
};

// ---------------------------------------------------------------------------
// KCEventData: the event record of one window, handed to handlers and to the
// plug-in's event entry points.

class KCEventData {
public:
    KCEventData() = default;
    KCEventData(const KCEventData&) = default;
    KCEventData& operator=(const KCEventData&) = default;
    virtual ~KCEventData() = default;

    void SetControlID(short id) { controlID = id; }
    short GetControlID() const { return controlID; }
    void SetCommand(const short& c) { command = c; }
    short GetCommand() const { return command; }
    void SetSystemMsg(const KCEventMessage& m) { systemMsg = m; }
    const KCEventMessage& GetSystemMsg() const { return systemMsg; }
    void SetModalWindowOnMouseDownFlag(bool f) { modalOnMouseDown = f; }
    bool GetModalWindowOnMouseDownFlag() const { return modalOnMouseDown; }
    void SetMouseDownLocation(KCPoint<short> p) { mouseDownLocation = p; }
    KCPoint<short> GetMouseDownLocation() const { return mouseDownLocation; }

    // New location; the delta's y is reversed (moving up is positive).
    void SetMouselocation(KCPoint<short> p) {
        mouseLocation = p;
        UpdateDelta();
    }
    KCPoint<short> GetMouseLocation() const { return mouseLocation; }
    KCPoint<short> GetPreviousMouseLocation() const { return previousMouseLocation; }
    // The argument is not used: the delta is recomputed from the locations.
    void SetMouseDelta(KCPoint<short>) { UpdateDelta(); }
    KCPoint<short> GetMouseDelta() const { return mouseDelta; }

    void SetMouseWheelPressed(KEMouseWheel w) { wheelState = w; }
    KEMouseWheel GetMouseWheelPressed() const { return wheelState; }
    void SetMouseWheelDelta(long d) { wheelDelta = static_cast<int32_t>(d); }
    long GetMouseWheelDelta() const { return wheelDelta; }

    void SetMouseButtonPressed(KEMouseButton b, bool down) {
        if (b >= 0 && b < 3)
            buttons[b] = down;
    }
    const bool* GetMouseButtonPressed() const { return buttons; }
    void ResetMouseButtonState() { buttons[0] = buttons[1] = buttons[2] = false; }

    void SetKeyModifier(KEModifier m, bool down) {
        if (m >= 0 && m < 4)
            modifiers[m] = down;
    }
    void SetAllKeyModifiers(const bool m[4]) { std::memcpy(modifiers, m, sizeof modifiers); }
    void GetAllKeyModifiers(bool m[4]) const { std::memcpy(m, modifiers, sizeof modifiers); }
    const bool* GetKeyModifiers() const { return modifiers; }
    bool CompareKeyModifiers(const bool m[4]) const {
        return modifiers[0] == m[0] && modifiers[1] == m[1] && modifiers[2] == m[2] &&
               modifiers[3] == m[3];
    }
    // The modifier keys as the message being handled saw them.
    void UpdateKeyModifiersStateFromSys() { SetAllKeyModifiers(systemMsg.Get().modifiers); }

    void SetKeyChar(char c) { keyChar = c; }
    char GetKeyChar() const { return keyChar; }
    void SetKeyCode(KEKeyCode k) { keyCode = k; }
    KEKeyCode GetKeyCode() const { return keyCode; }
    void SetMouseClickCount(KEClickCount c) { clickCount = c; }
    KEClickCount GetMouseClickCount() const { return clickCount; }
    void SetMenuRef(void* m) { menuRef = m; }
    void* GetMenu_Ref() const { return menuRef; }

    KCPoint<short> GetMouseDistanceFromDragStart() const {
        return mouseLocation - mouseDownLocation;
    }
    KURect<short> GetUpdateRect() const { return updateRect; }
    void SetUpdateRect(const KURect<short>& r) { updateRect = r; }

    void Translate(const KCPoint<short>& p) {
        mouseLocation += p;
        previousMouseLocation += p;
        mouseDownLocation += p;
        updateRect.Offset(p);
    }

    // Clears the transient state; keeps the update rectangle, the mouse-down
    // location, the control identifier, the command and the message.
    void Reset() {
        mouseLocation = previousMouseLocation = mouseDelta = KCPoint<short>();
        wheelDelta = 0;
        clickCount = eNoClick;
        keyChar = 0;
        keyCode = eKeyNone;
        wheelState = eWheelIdle;
        modalOnMouseDown = false;
        menuRef = nullptr;
        ResetMouseButtonState();
        modifiers[0] = modifiers[1] = modifiers[2] = modifiers[3] = false;
    }

private:
    void UpdateDelta() {
        mouseDelta = mouseLocation.GetDifference(previousMouseLocation, true);
        previousMouseLocation = mouseLocation;
    }

    friend struct KCEventDataLayout;

    KURect<short> updateRect;                         // 1
    int16_t controlID = 0;                            // 2
    int16_t command = 0;                              // 3
    KCPoint<short> mouseDownLocation;                 // 4
    KCPoint<short> mouseLocation;                     // 5
    KCPoint<short> previousMouseLocation;             // 6
    KCPoint<short> mouseDelta;                        // 7
    KEMouseWheel wheelState = eWheelIdle;             // 8
    int32_t wheelDelta = 0;                           // 9
    bool buttons[3] = {false, false, false};          // 10
    bool modifiers[4] = {false, false, false, false}; // 11
    char keyChar = 0;                                 // 12
    KEKeyCode keyCode = eKeyNone;                     // 13
    KEClickCount clickCount = eNoClick;               // 14
    KCEventMessage systemMsg;                         // 15
    bool modalOnMouseDown = false;                    // 16
    void* menuRef = nullptr;                          // 17
};

// ---------------------------------------------------------------------------
// Handlers and the abstract dispatcher

// (owner, event, event data, user data) -> true when the event was handled.
using KTDispatcherCallBack = bool (*)(void* owner, KEEventTypes event, KCEventData* data,
                                      void* userData);

class KCDispatcherAbs {
public:
    KCDispatcherAbs() = default;
    KCDispatcherAbs(const KCDispatcherAbs&) = delete;
    KCDispatcherAbs& operator=(const KCDispatcherAbs&) = delete;
    virtual ~KCDispatcherAbs() = default;

    virtual KTErr InstallEventHandler(void* newOwner, void* newUserData,
                                      KTDispatcherCallBack newHandler) {
        owner = newOwner;
        userData = newUserData;
        handler = newHandler;
        return eNoErr;
    }
    virtual bool HandleEvent(KCEventMessage& message) = 0;
    virtual bool DoMouseClickOutsideWindow() = 0;

    void SetOwner(void* o) { owner = o; }
    void* GetOwner() const { return owner; }
    void* GetUserData() const { return userData; }
    KTDispatcherCallBack GetDispatcherCallBack() const { return handler; }
    KCEventData& GetEventData() { return eventData; }

protected:
    KCEventData eventData;
    void* userData = nullptr;
    KTDispatcherCallBack handler = nullptr;
    void* owner = nullptr;
    int32_t reserved = 3;
};

// ---------------------------------------------------------------------------
// KCWindow: the native window record. Never copied: it owns its dispatcher.

class KCWindow {
public:
    // The context-thread value of a window without a rendering context.
    static constexpr kvThread::thread_id kInvalidThreadID = kvThread::invalid_thread_id;

    KCWindow();
    ~KCWindow();
    KCWindow(const KCWindow&) = delete;
    KCWindow& operator=(const KCWindow&) = delete;

    wxWindow* windowHandle = nullptr;                     // 1 our native window object
    KCDispatcherWX* dispatcher = nullptr;                 // 2 owned
    KURect<short> bounds;                                 // 3
    void* deviceContext = nullptr;                        // 4 the drawing surface (a wxWindow)
    wxGLContext* renderingContext = nullptr;              // 5
    uint8_t doubleBuffered = 1;                           // 6
    kvThread::thread_id contextThread = kInvalidThreadID; // 7
    int16_t textHeight = 0;                               // 8
};

// KCControl: the native control record. Never copied: it owns its dispatcher.
class KCControl {
public:
    KCControl();
    ~KCControl();
    KCControl(const KCControl&) = delete;
    KCControl& operator=(const KCControl&) = delete;

    wxWindow* windowHandle = nullptr;
    KCDispatcherWX* dispatcher = nullptr;
    std::string allowedCharacters; // empty: any character
    uint32_t maxLength = 0;        // 0: no limit
};

// ---------------------------------------------------------------------------
// Layout of the records that cross the plug-in boundary (LP64).

struct KCEventDataLayout {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
    static_assert(offsetof(KCEventData, updateRect) == 8);
    static_assert(offsetof(KCEventData, controlID) == 16);
    static_assert(offsetof(KCEventData, command) == 18);
    static_assert(offsetof(KCEventData, mouseDownLocation) == 20);
    static_assert(offsetof(KCEventData, mouseLocation) == 24);
    static_assert(offsetof(KCEventData, previousMouseLocation) == 28);
    static_assert(offsetof(KCEventData, mouseDelta) == 32);
    static_assert(offsetof(KCEventData, wheelState) == 36);
    static_assert(offsetof(KCEventData, wheelDelta) == 40);
    static_assert(offsetof(KCEventData, buttons) == 44);
    static_assert(offsetof(KCEventData, modifiers) == 47);
    static_assert(offsetof(KCEventData, keyChar) == 51);
    static_assert(offsetof(KCEventData, keyCode) == 52);
    static_assert(offsetof(KCEventData, clickCount) == 56);
    static_assert(offsetof(KCEventData, systemMsg) == 64);
    static_assert(offsetof(KCEventData, modalOnMouseDown) == 72);
    static_assert(offsetof(KCEventData, menuRef) == 80);
#pragma GCC diagnostic pop
};
static_assert(sizeof(KCEventData) == 88);
static_assert(sizeof(KURect<short>) == 8 && sizeof(KCPoint<short>) == 4);
static_assert(offsetof(KCWindow, windowHandle) == 0);
static_assert(offsetof(KCWindow, dispatcher) == 8);
static_assert(offsetof(KCWindow, bounds) == 16);
static_assert(offsetof(KCWindow, deviceContext) == 24);
static_assert(offsetof(KCWindow, renderingContext) == 32);
static_assert(offsetof(KCWindow, doubleBuffered) == 40);
static_assert(offsetof(KCWindow, contextThread) == 44);
static_assert(offsetof(KCWindow, textHeight) == 48);
static_assert(sizeof(KCWindow) == 56);
