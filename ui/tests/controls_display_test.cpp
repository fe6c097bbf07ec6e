#include <wx/button.h>
#include <wx/clipbrd.h>
#include <wx/listbox.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/toplevel.h>

#include "display_harness.h"

using display::Log;
using R = KURect<short>;

namespace {

class Controls : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        display::Open(window, display::Options(log, R(100, 100, 300, 400), kWinKindPlain));
    }
    void TearDown() override {
        if (window.windowHandle != nullptr)
            KMDisposeWindow(window);
        if (display::Ready())
            display::Pump(20);
    }
    KTErr MakeEdit(KCControl& edit, const std::string& allowed, uint32_t max,
                   const std::string& text = "") {
        KCControlCreationOptions o;
        o.controlType = kControlEdit;
        o.bounds = R(10, 10, 40, 200);
        o.controlID = 20;
        o.parent = &window;
        o.allowedCharacters = allowed;
        o.maxLength = max;
        o.text = text;
        o.handler = display::Handler;
        o.userData = &editLog;
        const KTErr err = KMCreateControl(o, edit);
        display::Pump(50);
        return err;
    }
    std::string Text(const KCControl& c) {
        std::string t;
        EXPECT_EQ(KMGetControlText(c, t), eNoErr);
        return t;
    }

    Log log, editLog;
    KCWindow window;
    wxUIActionSimulator sim;
};

} // namespace

TEST_F(Controls, EditHonoursAllowedCharactersAndLength) {
    KCControl edit;
    ASSERT_EQ(MakeEdit(edit, "0123456789", 3), eNoErr);
    edit.windowHandle->SetFocus();
    display::Pump(50);
    sim.Text("1a2b34");
    display::PumpUntil([&] { return Text(edit) == "123"; }, 2000);
    EXPECT_EQ(Text(edit), "123");
    sim.Char(WXK_RETURN);
    display::Pump(50);
    EXPECT_EQ(Text(edit), "123"); // Return is always swallowed
    // Keys that move the caret or delete are not filtered.
    sim.Char(WXK_LEFT);
    sim.Char(WXK_BACK);
    sim.Char('9');
    display::PumpUntil([&] { return Text(edit) == "193"; }, 2000);
    EXPECT_EQ(Text(edit), "193");
    // Keys reach the edit's handler first; what it leaves goes on to the
    // window.
    EXPECT_GE(editLog.Count(eKeyDown), 6u);
    EXPECT_EQ(log.Count(eKeyDown), 0u);
    editLog.answer = false;
    sim.Char(WXK_F2);
    ASSERT_TRUE(display::PumpUntil([&] { return log.Count(eKeyDown) > 0; }));
    EXPECT_EQ(log.Last(eKeyDown)->data.GetKeyCode(), KEKeyCode(18));
    KMDisposeControl(edit);
}

TEST_F(Controls, PastedTextIsFilteredAndLongLimitsHold) {
    KCControl edit;
    ASSERT_EQ(MakeEdit(edit, "", 300, std::string(298, 'x')), eNoErr);
    edit.windowHandle->SetFocus();
    display::Pump(50);
    sim.Text("abc");
    // Every key has been through the edit once its release has.
    ASSERT_TRUE(display::PumpUntil([&] { return editLog.Count(eKeyUp) >= 3; }));
    EXPECT_EQ(Text(edit).size(), 300u);

    KCControl digits;
    ASSERT_EQ(MakeEdit(digits, "0123456789", 4), eNoErr);
    ASSERT_TRUE(wxTheClipboard->Open());
    wxTheClipboard->SetData(new wxTextDataObject("9x8y7z65"));
    wxTheClipboard->Close();
    digits.windowHandle->SetFocus();
    display::Pump(50);
    static_cast<wxTextCtrl*>(digits.windowHandle)->Paste();
    display::PumpUntil([&] { return !Text(digits).empty(); }, 2000);
    EXPECT_EQ(Text(digits), "9876");
    KMDisposeControl(edit);
    KMDisposeControl(digits);
}

// The middle button pastes the primary selection: filtered like any paste.
TEST_F(Controls, MiddleButtonPasteIsFiltered) {
    KCControl digits;
    ASSERT_EQ(MakeEdit(digits, "0123456789", 4, "12"), eNoErr);
    wxTheClipboard->UsePrimarySelection(true);
    ASSERT_TRUE(wxTheClipboard->Open());
    wxTheClipboard->SetData(new wxTextDataObject("4x5y6\n7"));
    wxTheClipboard->Close();
    wxTheClipboard->UsePrimarySelection(false);
    // Clicked right of the text: the pasted text goes to its end.
    const wxRect box = digits.windowHandle->GetScreenRect();
    sim.MouseMove(box.GetRight() - 10, box.GetTop() + box.GetHeight() / 2);
    display::Pump(50);
    sim.MouseClick(wxMOUSE_BTN_MIDDLE);
    display::PumpUntil([&] { return Text(digits) != "12"; }, 2000);
    display::Pump(100); // a paste in pieces would go on arriving
    EXPECT_EQ(Text(digits), "1245");
    KMDisposeControl(digits);
    wxTheClipboard->UsePrimarySelection(true);
    wxTheClipboard->Clear(); // the selection's data goes with it
    wxTheClipboard->UsePrimarySelection(false);
}

// Text the toolkit inserts on its own, as a drop does, bypasses the key and
// paste filters; a change that breaks the limits is undone.
TEST_F(Controls, TextInsertedPastTheFiltersIsCheckedOnceIn) {
    KCControl digits;
    ASSERT_EQ(MakeEdit(digits, "0123456789", 4, "12"), eNoErr);
    auto* native = static_cast<wxTextCtrl*>(digits.windowHandle);
    struct Case {
        const char* inserted;
        const char* after;
    };
    for (const Case& c : {Case{"3x", "12"}, Case{"3", "123"}, Case{"45", "123"}, Case{"4", "1234"},
                          Case{"\n", "1234"}}) {
        native->SetInsertionPointEnd();
        native->WriteText(wxString::FromUTF8(c.inserted));
        display::Pump(20);
        EXPECT_EQ(Text(digits), c.after) << c.inserted;
    }
    // What the program sets is taken as it is, and the user's edits to it
    // are not undone while it is beyond the limits.
    ASSERT_EQ(KMSetControlText(digits, "ab"), eNoErr);
    EXPECT_EQ(Text(digits), "ab");
    native->SetInsertionPointEnd();
    native->WriteText("c");
    display::Pump(20);
    EXPECT_EQ(Text(digits), "abc");
    KMDisposeControl(digits);
}

TEST_F(Controls, ButtonsTextsAndLookups) {
    KCControlCreationOptions o;
    o.parent = &window;
    o.controlType = kControlPushButton;
    o.controlID = 1;
    o.text = "OK";
    o.bounds = R(50, 10, 80, 110);
    KCControl ok, check, label;
    ASSERT_EQ(KMCreateControl(o, ok), eNoErr);
    o.controlType = kControlCheckBox;
    o.controlID = 7;
    o.text = "Loud";
    o.bounds = R(90, 10, 110, 110);
    ASSERT_EQ(KMCreateControl(o, check), eNoErr);
    o.controlType = kControlStaticText;
    o.controlID = 8;
    o.text = "Label";
    o.bounds = R(120, 10, 140, 110);
    ASSERT_EQ(KMCreateControl(o, label), eNoErr);
    o.controlType = 9;
    KCControl none;
    EXPECT_EQ(KMCreateControl(o, none), eGenericSystemError);
    display::Pump(50);

    auto* tlw = dynamic_cast<wxTopLevelWindow*>(window.windowHandle);
    ASSERT_NE(tlw, nullptr);
    EXPECT_EQ(tlw->GetDefaultItem(), ok.windowHandle); // identifier 1: the default button
    EXPECT_TRUE(label.windowHandle->IsShown());

    // A real click on a child button reaches the window as a command.
    log.calls.clear();
    sim.MouseMove(check.windowHandle->GetScreenRect().GetPosition() + wxPoint(8, 8));
    display::Pump(50);
    sim.MouseClick();
    ASSERT_TRUE(display::PumpUntil([&] { return log.Count(eCommand) > 0; }));
    EXPECT_EQ(log.Last(eCommand)->data.GetCommand(), 7);
    uint32_t bits = 0x6;
    ASSERT_EQ(KMGetButtonControlState(check, bits), eNoErr);
    EXPECT_EQ(bits, 0x7u);
    ASSERT_EQ(KMSetButtonControlState(check, 0u), eNoErr);
    ASSERT_EQ(KMGetButtonControlState(check, bits), eNoErr);
    EXPECT_EQ(bits, 0x6u);

    ASSERT_EQ(KMSetControlText(label, "New text"), eNoErr);
    EXPECT_EQ(Text(label), "New text");
    R bounds;
    ASSERT_EQ(KMGetControlBounds(label, bounds), eNoErr);
    EXPECT_EQ(bounds.top, 120);
    EXPECT_EQ(bounds.left, 10);

    KCControl found;
    ASSERT_EQ(KMGetControlByID(window, 7, found), eNoErr);
    EXPECT_EQ(found.windowHandle, check.windowHandle);
    EXPECT_EQ(KMGetControlByID(window, 55, found), eGenericErr);

    KCListControlCreationOptions lo;
    lo.parent = &window;
    lo.controlID = 30;
    lo.bounds = R(10, 150, 100, 280);
    lo.items = {"one", "two", "three"};
    wxWindow* listHandle = nullptr;
    ASSERT_EQ(KMCreateListControl(lo, listHandle), eNoErr);
    auto* list = dynamic_cast<wxListBox*>(listHandle);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->GetCount(), 3u);
    EXPECT_EQ(list->GetString(2), "three");
    EXPECT_EQ(list->GetId(), 30);

    EXPECT_EQ(KMDisposeControl(check), eNoErr);
    EXPECT_EQ(check.windowHandle, nullptr);
    EXPECT_EQ(KMGetControlByID(window, 7, found), eGenericErr);
    // Controls that go with their window forget their handles.
    KMDisposeWindow(window);
    display::Pump(50);
    EXPECT_EQ(ok.windowHandle, nullptr);
    EXPECT_EQ(label.windowHandle, nullptr);
}

TEST_F(Controls, ControlLoopOffersOutsideClicks) {
    KCControl edit;
    ASSERT_EQ(MakeEdit(edit, "", 0), eNoErr);
    editLog.onEvent = [](KEEventTypes e, KCEventData*) {
        if (e == eMouseClickOutsideWindow)
            KMQuitAppEventLoop();
    };
    wxTimer guard;
    bool timedOut = false;
    guard.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        timedOut = true;
        KMQuitAppEventLoop();
    });
    guard.StartOnce(3000);
    wxTheApp->CallAfter([&] {
        sim.MouseMove(display::Screen(window, 250, 150));
        sim.MouseClick();
    });
    EXPECT_EQ(KMRunControlEventLoop(edit), eNoErr);
    guard.Stop();
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(editLog.Count(eMouseClickOutsideWindow), 1u);
    EXPECT_EQ(log.Count(eMouseDown), 0u); // the handler took the press
    KMDisposeControl(edit);
}
