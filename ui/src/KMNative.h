// The wx side of the window manager: which native windows belong to which
// records, and the translation of wx events into the framework's messages.
#pragma once

#include "ui/KCWindow.h"

class wxEvent;
class wxMouseEvent;
class wxKeyEvent;
class wxKeyboardState;
class wxRect;

namespace KMNative {

// Forgets a record that is being destroyed: its native windows no longer
// reach it.
void DetachRecord(KCWindow* record);
void DetachControl(KCControl* control);

// The modifier keys of a toolkit state into the message.
void FillModifiers(const wxKeyboardState& state, KSNativeMessage& message);
// A toolkit rectangle as (top, left, bottom, right).
KURect<short> RectOf(const wxRect& r);

// wx events to the framework's message record. Each returns false for an
// event that has no message (the message is then left as eNMNone).
bool TranslateMouse(const wxMouseEvent& event, KSNativeMessage& message);
bool TranslateKey(const wxKeyEvent& event, bool down, KSNativeMessage& message);

// Offers one message to a window's dispatcher as its window procedure does:
// an unhandled close request ends the running loop. Returns whether the
// dispatcher handled it. The record may be gone when this returns.
bool WindowEventHandler(KCWindow* record, const KSNativeMessage& message);

} // namespace KMNative
