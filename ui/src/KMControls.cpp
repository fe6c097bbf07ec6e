// Native controls, the control loop, and the translation of wx input events.
#include <algorithm>
#include <memory>
#include <unordered_map>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/clipbrd.h>
#include <wx/eventfilter.h>
#include <wx/listbox.h>
#include <wx/settings.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/weakref.h>

#include "KMNative.h"
#include "KMWindows.h"
#include "ui/KCDispatcherWX.h"
#include "ui/KMEditFilter.h"
#include "ui/KMWindowManager.h"

namespace {

std::unordered_map<const wxWindow*, KCControl*>& Controls() {
    static std::unordered_map<const wxWindow*, KCControl*> map;
    return map;
}

KCControl* ControlOf(const wxWindow* w) {
    auto it = Controls().find(w);
    return it == Controls().end() ? nullptr : it->second;
}

KSEditLimits LimitsOf(const KCControl& c) {
    return KSEditLimits{c.allowedCharacters, c.maxLength};
}

size_t SelectionLength(const wxTextCtrl* edit) {
    long from = 0, to = 0;
    edit->GetSelection(&from, &to);
    return to > from ? static_cast<size_t>(to - from) : 0;
}

// Keys go to the edit's handler first; what it leaves goes on to the window
// the edit sits in, posted as the same message.
void EditKey(wxTextCtrl* edit, wxKeyEvent& e, bool down) {
    e.Skip();
    KSNativeMessage m;
    KMNative::TranslateKey(e, down, m);
    KCControl* control = ControlOf(edit);
    if (control != nullptr) {
        m.window = edit;
        KCEventMessage wrapped(m);
        if (control->dispatcher->HandleEvent(wrapped))
            return;
    }
    wxWeakRef<wxWindow> parent(edit->GetParent());
    if (wxTheApp == nullptr || !parent)
        return;
    wxTheApp->CallAfter([parent, m]() mutable {
        if (!parent)
            return;
        if (KCWindow* record = KMGetWindowRecord(parent.get())) {
            m.window = record->windowHandle;
            KMNative::WindowEventHandler(record, m);
        }
    });
}

void EditChar(wxTextCtrl* edit, wxKeyEvent& e) {
    KCControl* control = ControlOf(edit);
    if (control == nullptr) {
        e.Skip();
        return;
    }
    // Keys without a character (arrows, Delete, function keys) move or
    // delete and are never filtered.
    const int key = e.GetKeyCode();
    const wxChar unicode = e.GetUnicodeKey();
    if (unicode == WXK_NONE || key == WXK_DELETE) {
        e.Skip();
        return;
    }
    // Control combinations arrive as 1 to 26 (Ctrl+V is 22).
    const uint32_t c =
        key > 0 && key < 32 ? static_cast<uint32_t>(key) : static_cast<uint32_t>(unicode);
    if (KMFilterEditChar(LimitsOf(*control), c, edit->GetValue().length(), SelectionLength(edit)) ==
        KEEditChar::ePass)
        e.Skip();
}

// The text of the clipboard, or of X11's primary selection.
std::string ClipboardText(bool primary) {
    wxString pasted;
    wxTheClipboard->UsePrimarySelection(primary);
    if (wxTheClipboard->Open()) {
        wxTextDataObject data;
        if (wxTheClipboard->IsSupported(wxDF_UNICODETEXT) && wxTheClipboard->GetData(data))
            pasted = data.GetText();
        wxTheClipboard->Close();
    }
    wxTheClipboard->UsePrimarySelection(false);
    return pasted.utf8_string();
}

// Inserts what the control takes of pasted text at the caret, in place of
// the selection when `replaceSelection` is set.
void PasteFiltered(wxTextCtrl* edit, const KCControl& control, const std::string& text,
                   bool replaceSelection) {
    const size_t selection = replaceSelection ? SelectionLength(edit) : 0;
    const std::string accepted =
        KMFilterPastedText(LimitsOf(control), text, edit->GetValue().length(), selection);
    if (accepted.empty())
        return;
    long from = 0, to = 0;
    edit->GetSelection(&from, &to);
    if (selection > 0 && to > from)
        edit->Remove(from, to);
    edit->WriteText(wxString::FromUTF8(accepted));
}

// Pasted text is filtered like typed text.
void EditPaste(wxTextCtrl* edit, wxClipboardTextEvent& e) {
    KCControl* control = ControlOf(edit);
    if (control == nullptr) {
        e.Skip();
        return;
    }
    PasteFiltered(edit, *control, ClipboardText(false), true);
}

// The middle button pastes the primary selection where it was pressed; it
// goes through the same filter. The toolkit's own paste is not run.
void EditMiddleDown(wxTextCtrl* edit, wxMouseEvent& e) {
    KCControl* control = ControlOf(edit);
    if (control == nullptr) {
        e.Skip();
        return;
    }
    // Read first: the selection may be this edit's own, which moving the
    // caret clears.
    const std::string text = ClipboardText(true);
    edit->SetFocus();
    long at = 0;
    if (edit->HitTest(e.GetPosition(), &at) != wxTE_HT_UNKNOWN)
        edit->SetInsertionPoint(at);
    PasteFiltered(edit, *control, text, false);
}

// Set while the program itself sets an edit's text: that text is taken as it
// is, whatever the limits say.
bool gProgramSetsText = false;

bool FitsLimits(const KSEditLimits& limits, const std::string& text) {
    return KMFilterPastedText(limits, text, 0, 0) == text;
}

// Typed and pasted text is filtered before it reaches the control; anything
// else the toolkit inserts on its own (text dropped by drag and drop, input
// methods) is checked once it is in. A change that breaks the limits is
// undone, back to the last text that kept them. Text the program set beyond
// the limits is left alone until the user's edits bring it within them.
void WatchEditText(wxTextCtrl* edit) {
    auto accepted = std::make_shared<std::string>(edit->GetValue().utf8_string());
    edit->Bind(wxEVT_TEXT, [edit, accepted](wxCommandEvent& e) {
        e.Skip();
        const std::string now = edit->GetValue().utf8_string();
        const KCControl* control = ControlOf(edit);
        if (gProgramSetsText || control == nullptr || now == *accepted) {
            *accepted = now;
            return;
        }
        const KSEditLimits limits = LimitsOf(*control);
        if (FitsLimits(limits, now) || !FitsLimits(limits, *accepted)) {
            *accepted = now;
            return;
        }
        e.Skip(false);
        // The toolkit is still inside its insertion: the text is put back
        // once it is done.
        edit->CallAfter([edit, accepted] {
            const KCControl* owner = ControlOf(edit);
            if (owner == nullptr)
                return;
            const KSEditLimits limits = LimitsOf(*owner);
            if (FitsLimits(limits, edit->GetValue().utf8_string()) ||
                !FitsLimits(limits, *accepted))
                return;
            const long caret = edit->GetInsertionPoint();
            const wxString previous = wxString::FromUTF8(*accepted);
            edit->ChangeValue(previous);
            edit->SetInsertionPoint(std::min<long>(caret, static_cast<long>(previous.length())));
        });
    });
}

void BindEdit(wxTextCtrl* edit) {
    WatchEditText(edit);
    edit->Bind(wxEVT_KEY_DOWN, [edit](wxKeyEvent& e) { EditKey(edit, e, true); });
    edit->Bind(wxEVT_KEY_UP, [edit](wxKeyEvent& e) { EditKey(edit, e, false); });
    edit->Bind(wxEVT_CHAR, [edit](wxKeyEvent& e) { EditChar(edit, e); });
    edit->Bind(wxEVT_TEXT_PASTE, [edit](wxClipboardTextEvent& e) { EditPaste(edit, e); });
    edit->Bind(wxEVT_MIDDLE_DOWN, [edit](wxMouseEvent& e) { EditMiddleDown(edit, e); });
    edit->Bind(wxEVT_MIDDLE_UP, [](wxMouseEvent&) {}); // the paste was done on the press
}

void Register(wxWindow* w, KCControl& control) {
    Controls()[w] = &control;
    w->Bind(wxEVT_DESTROY, [w](wxWindowDestroyEvent& e) {
        e.Skip();
        if (e.GetEventObject() != w)
            return;
        if (KCControl* c = ControlOf(w)) {
            if (c->windowHandle == w)
                c->windowHandle = nullptr;
            Controls().erase(w);
        }
    });
}

bool IsDescendant(const wxWindow* w, const wxWindow* ancestor) {
    for (; w != nullptr; w = w->GetParent())
        if (w == ancestor)
            return true;
    return false;
}

wxWindow* SurfaceOf(const KCWindow* w) {
    return w ? static_cast<wxWindow*>(w->deviceContext) : nullptr;
}

// Presses on the control's parent are offered to the control first; moves
// and releases on the parent are dropped while the control's loop runs.
class ControlLoopFilter : public wxEventFilter {
public:
    ControlLoopFilter(KCControl& c, wxWindow* p) : control(c), parent(p) {
        wxEvtHandler::AddFilter(this);
    }
    ~ControlLoopFilter() override { wxEvtHandler::RemoveFilter(this); }

    int FilterEvent(wxEvent& e) override {
        if (parent == nullptr || e.GetEventObject() != parent)
            return Event_Skip;
        const wxEventType t = e.GetEventType();
        if (t == wxEVT_LEFT_DOWN || t == wxEVT_RIGHT_DOWN) {
            const bool taken =
                control.dispatcher != nullptr && control.dispatcher->DoMouseClickOutsideWindow();
            return taken ? Event_Processed : Event_Skip;
        }
        if (t == wxEVT_MOTION || t == wxEVT_LEFT_UP || t == wxEVT_RIGHT_UP)
            return Event_Processed;
        return Event_Skip;
    }

private:
    KCControl& control;
    wxWeakRef<wxWindow> parent;
};

} // namespace

// ---------------------------------------------------------------------------
// Translation of wx input events

void KMNative::FillModifiers(const wxKeyboardState& state, KSNativeMessage& m) {
    m.modifiers[eModifierControl] = state.RawControlDown();
    m.modifiers[eModifierWindows] = state.MetaDown();
    m.modifiers[eModifierShift] = state.ShiftDown();
    m.modifiers[eModifierAlt] = state.AltDown();
}

KURect<short> KMNative::RectOf(const wxRect& r) {
    return KURect<short>(static_cast<short>(r.y), static_cast<short>(r.x),
                         static_cast<short>(r.y + r.height), static_cast<short>(r.x + r.width));
}

bool KMNative::TranslateMouse(const wxMouseEvent& e, KSNativeMessage& m) {
    const wxEventType t = e.GetEventType();
    m.message = eNMNone;
    if (t == wxEVT_MOTION)
        m.message = eNMMouseMove;
    else if (t == wxEVT_LEFT_DOWN)
        m.message = eNMLeftDown;
    else if (t == wxEVT_LEFT_UP)
        m.message = eNMLeftUp;
    else if (t == wxEVT_LEFT_DCLICK)
        m.message = eNMLeftDoubleClick;
    else if (t == wxEVT_RIGHT_DOWN)
        m.message = eNMRightDown;
    else if (t == wxEVT_RIGHT_UP)
        m.message = eNMRightUp;
    else if (t == wxEVT_RIGHT_DCLICK)
        m.message = eNMRightDoubleClick;
    else if (t == wxEVT_MIDDLE_DOWN)
        m.message = eNMMiddleDown;
    else if (t == wxEVT_MIDDLE_UP)
        m.message = eNMMiddleUp;
    else if (t == wxEVT_MIDDLE_DCLICK)
        m.message = eNMMiddleDoubleClick;
    else if (t == wxEVT_MOUSEWHEEL && e.GetWheelAxis() == wxMOUSE_WHEEL_VERTICAL) {
        m.message = eNMMouseWheel;
        m.param = e.GetWheelRotation();
        m.id = e.GetWheelDelta();
        m.lines = e.IsPageScroll() ? -1 : e.GetLinesPerAction();
    }
    if (m.message == eNMNone)
        return false;
    m.point = KCPoint<short>(static_cast<short>(e.GetX()), static_cast<short>(e.GetY()));
    KMNative::FillModifiers(e, m);
    m.time = static_cast<uint32_t>(e.GetTimestamp());
    return true;
}

bool KMNative::TranslateKey(const wxKeyEvent& e, bool down, KSNativeMessage& m) {
    m.message = down ? eNMKeyDown : eNMKeyUp;
    m.key = e.GetKeyCode();
    KMNative::FillModifiers(e, m);
    m.time = static_cast<uint32_t>(e.GetTimestamp());
    return true;
}

void KMNative::DetachControl(KCControl* control) {
    auto& map = Controls();
    for (auto it = map.begin(); it != map.end();)
        it = it->second == control ? map.erase(it) : std::next(it);
}

void KMWindows::DetachControlsOf(wxWindow* window) {
    auto& map = Controls();
    for (auto it = map.begin(); it != map.end();) {
        if (IsDescendant(it->first, window)) {
            if (it->second->windowHandle == it->first)
                it->second->windowHandle = nullptr;
            it = map.erase(it);
        } else {
            ++it;
        }
    }
}

// ---------------------------------------------------------------------------
// Controls

KTErr KMCreateControl(const KCControlCreationOptions& options, KCControl& control) {
    wxWindow* parent = SurfaceOf(options.parent);
    if (!KMHasDisplay() || parent == nullptr)
        return eGenericSystemError;
    const KURect<short>& b = options.bounds;
    const wxPoint pos(b.left, b.top);
    const wxSize size(b.Width(), b.Height());
    const wxString text = wxString::FromUTF8(options.text);
    const int id = options.controlID;
    wxWindow* w = nullptr;
    switch (options.controlType) {
    case kControlStaticText:
        w = new wxStaticText(parent, id, text, pos, size);
        break;
    case kControlEdit: {
        control.allowedCharacters = options.allowedCharacters;
        control.maxLength = options.maxLength;
        auto* edit = new wxTextCtrl(parent, id, text, pos, size,
                                    wxTE_MULTILINE | wxTE_DONTWRAP | wxBORDER_SIMPLE);
        edit->SetFont(wxSystemSettings::GetFont(wxSYS_ANSI_VAR_FONT));
        control.dispatcher->InstallEventHandler(&control, options.userData, options.handler);
        BindEdit(edit);
        if (options.selectAll)
            edit->SelectAll();
        else
            edit->SetInsertionPointEnd();
        w = edit;
        break;
    }
    case kControlPushButton: {
        auto* button = new wxButton(parent, id, text, pos, size);
        if (id == 1)
            button->SetDefault();
        w = button;
        break;
    }
    case kControlCheckBox:
        w = new wxCheckBox(parent, id, text, pos, size);
        break;
    default:
        return eGenericSystemError;
    }
    control.windowHandle = w;
    Register(w, control);
    w->Show();
    if (options.controlType == kControlEdit)
        w->SetFocus();
    return eNoErr;
}

KTErr KMCreateListControl(const KCListControlCreationOptions& options, wxWindow*& handle) {
    handle = nullptr;
    wxWindow* parent = SurfaceOf(options.parent);
    if (!KMHasDisplay() || parent == nullptr)
        return eGenericSystemError;
    wxArrayString items;
    for (const std::string& s : options.items)
        items.Add(wxString::FromUTF8(s));
    const KURect<short>& b = options.bounds;
    auto* list = new wxListBox(parent, options.controlID, wxPoint(b.left, b.top),
                               wxSize(b.Width(), b.Height()), items,
                               wxLB_SINGLE | wxLB_ALWAYS_SB | wxBORDER_SUNKEN);
    list->SetFont(wxSystemSettings::GetFont(wxSYS_ANSI_VAR_FONT));
    list->Show();
    handle = list;
    return eNoErr;
}

KTErr KMGetButtonControlState(const KCControl& control, uint32_t& bits) {
    if (control.windowHandle == nullptr)
        return eGenericErr;
    auto* check = dynamic_cast<wxCheckBox*>(control.windowHandle);
    const bool checked = check != nullptr && check->GetValue();
    bits = checked ? (bits | 1u) : (bits & ~1u);
    return eNoErr;
}

KTErr KMSetButtonControlState(const KCControl& control, const uint32_t& bits) {
    if (control.windowHandle == nullptr)
        return eGenericErr;
    if (auto* check = dynamic_cast<wxCheckBox*>(control.windowHandle))
        check->SetValue((bits & 1u) != 0);
    return eNoErr;
}

KTErr KMDisposeControl(KCControl& control) {
    wxWindow* w = control.windowHandle;
    control.windowHandle = nullptr;
    if (w == nullptr)
        return eGenericErr;
    Controls().erase(w);
    w->Hide();
    // The control may be handling one of its own events right now.
    if (wxTheApp != nullptr)
        wxTheApp->ScheduleForDestruction(w);
    else
        delete w;
    return eNoErr;
}

KTErr KMShowControl(const KCControl& control) {
    if (control.windowHandle == nullptr)
        return eGenericErr;
    control.windowHandle->Show();
    return eNoErr;
}

KTErr KMGetControlByID(const KCWindow& window, short id, KCControl& control) {
    wxWindow* surface = SurfaceOf(&window);
    if (window.windowHandle == nullptr || surface == nullptr)
        return eSomeThingNotInitailzed;
    for (wxWindow* child : surface->GetChildren()) {
        if (child->GetId() == id && KMWindows::IsAlive(child)) {
            control.windowHandle = child;
            return eNoErr;
        }
    }
    return eGenericErr;
}

KTErr KMSetControlText(const KCControl& control, const std::string& text) {
    if (control.windowHandle == nullptr)
        return eGenericErr;
    const wxString value = wxString::FromUTF8(text);
    if (auto* edit = dynamic_cast<wxTextCtrl*>(control.windowHandle)) {
        gProgramSetsText = true;
        edit->SetValue(value);
        gProgramSetsText = false;
    } else
        control.windowHandle->SetLabel(value);
    return eNoErr;
}

KTErr KMGetControlText(const KCControl& control, std::string& text) {
    if (control.windowHandle == nullptr)
        return eGenericErr;
    if (auto* edit = dynamic_cast<wxTextCtrl*>(control.windowHandle))
        text = edit->GetValue().utf8_string();
    else
        text = control.windowHandle->GetLabel().utf8_string();
    return eNoErr;
}

KTErr KMGetControlBounds(const KCControl& control, KURect<short>& bounds) {
    if (control.windowHandle == nullptr || control.windowHandle->GetParent() == nullptr)
        return eGenericErr;
    bounds = KMNative::RectOf(control.windowHandle->GetRect());
    return eNoErr;
}

KTErr KMRunControlEventLoop(KCControl& control) {
    wxWindow* parent = control.windowHandle ? control.windowHandle->GetParent() : nullptr;
    ControlLoopFilter filter(control, parent);
    return KMRunAppEventLoop();
}
