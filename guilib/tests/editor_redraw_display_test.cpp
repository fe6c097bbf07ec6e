// The editor on a real GLX window driven by real pointer and key events
// (XTest): idle ticks redraw only what changed; the value controls, markers
// and menu buttons answer the gestures the user makes; every gesture goes
// through the editor's Modify operations, which a derived editor sees;
// drag-select chooses controls for the keys; the system bar's Switch and
// Reset change the setup and the values.
#include <array>
#include <map>
#include <memory>
#include <string>

#include "TestXML.h"
#include "display_harness.h"
#include "guilib/Algorithm.h"
#include "guilib/MenuEx.h"
#include "guilib/StandardGUI.h"
#include "ui/CGraphicManagerAbs.h"
#include "ui/GMRenderer.h"

#include <GL/gl.h>

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
using R = KURect<short>;
using Pixel = std::array<uint8_t, 3>;

// A parameter of `states` states (0 to states - 1), at state `initial`.
std::string Param(const char* name, int states, int initial) {
    return std::string("<Parameter Name=\"") + name + "\"><Scale><Minimum>0</Minimum><Maximum>" +
           std::to_string(states - 1) + "</Maximum><Resolution>" + std::to_string(states) +
           "</Resolution><ScaleType>toggle</ScaleType></Scale><InitialValue Type=\"state\">" +
           std::to_string(initial) + "</InitialValue></Parameter>";
}

// Parameters (states): 0 slider (0..100), 1 radio (0..2), 2 inc/dec (0..9),
// 3 and 4 left and right (0..100), 5 and 6 fields (0..9), 7 scroller
// (0..100), 8 menu (0..4), 9 and 10 marker x and y (0..100).
const char* const kLayout = R"(<GUI Width="320" Height="240">
 <Control Class="Slider" Params="0" Rect="20, 20, 36, 120"/>
 <Control Class="RadioButton" Params="1" Rect="20, 140, 36, 230"/>
 <Control Class="IncDec" Params="2" Rect="50, 20, 90, 40"/>
 <Control Class="LRB" Params="3,4" Rect="50, 60, 130, 120"/>
 <Control Class="MultiField" Params="5,6" Rect="50, 140, 66, 230"/>
 <Control Class="Scroller" Params="7" Rect="140, 20, 152, 220"/>
 <Control Class="Popup" Params="8" Rect="80, 140, 96, 200"/>
 <Control Class="Graph" Params="9" Rect="160, 20, 230, 120"/>
 <Control Class="Marker" Params="9,10" Rect="190, 65, 200, 75"/>
 <Control Class="Text" Params="0" Rect="20, 240, 36, 310"/>
 <ToolBar>
  <Button Name="Switch" Rect="40, 240, 56, 310"/>
  <Button Name="Reset" Rect="60, 240, 76, 310"/>
  <Button Name="Undo" Rect="80, 240, 96, 310"/>
 </ToolBar>
</GUI>)";

// An editor that counts the gestures reaching its Modify operations and
// can keep the mouse-down from the controls.
class CountingEditor : public CStandardGUI_X {
public:
    using CStandardGUI_X::CStandardGUI_X;
    std::map<std::string, int> calls;
    bool swallowDown = false;

    long ModifyControlsOnMouseDown(KCEventData* e, bool& handled) override {
        ++calls["down"];
        if (swallowDown) {
            handled = true;
            return 0;
        }
        return CStandardGUI_X::ModifyControlsOnMouseDown(e, handled);
    }
    long ModifyControlsOnMouseDrag(KCEventData* e) override {
        ++calls["drag"];
        return CStandardGUI_X::ModifyControlsOnMouseDrag(e);
    }
    long ModifyControlsOnMouseHover(KCEventData* e) override {
        ++calls["hover"];
        return CStandardGUI_X::ModifyControlsOnMouseHover(e);
    }
    long ModifyControlsOnMouseUp(KCEventData* e) override {
        ++calls["up"];
        return CStandardGUI_X::ModifyControlsOnMouseUp(e);
    }
    long ModifyControlsOnKey(KCEventData* e, bool& handled) override {
        ++calls["key"];
        return CStandardGUI_X::ModifyControlsOnKey(e, handled);
    }
    BUFFER_HEADER* ModifyControlsOnKeySelf(KCEventData* e, bool& handled) override {
        ++calls["keyself"];
        return CStandardGUI_X::ModifyControlsOnKeySelf(e, handled);
    }
    long ModifyToolBarControlsOnMouseDown(KCEventData* e, bool& handled) override {
        ++calls["bardown"];
        return CStandardGUI_X::ModifyToolBarControlsOnMouseDown(e, handled);
    }
    long ModifyToolBarControlsOnMouseUp(KCEventData* e) override {
        ++calls["barup"];
        return CStandardGUI_X::ModifyToolBarControlsOnMouseUp(e);
    }
    void UpdateSelectRect(KCEventData* e) override {
        ++calls["select"];
        CStandardGUI_X::UpdateSelectRect(e);
    }
    void System_ExecuteSwitch() override {
        ++calls["switch"];
        CStandardGUI_X::System_ExecuteSwitch();
    }
};

class EditorGestures : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        RMInit(0);
        log.onEvent = [this](KEEventTypes event, KCEventData* data) { Forward(event, data); };
        display::Open(window, display::Options(log, R(100, 100, 100 + kHeight, 100 + kWidth)));
        ASSERT_EQ(GMCreateRC(window), eNoErr);
        GMBind2RC(window);
        ASSERT_EQ(alg.FinishCreate(), 0);
        const std::string list = "<Parameter_List>" + Param("SLD", 101, 50) + Param("RAD", 3, 0) +
                                 Param("INC", 10, 5) + Param("L", 101, 20) + Param("R", 101, 40) +
                                 Param("F1", 10, 1) + Param("F2", 10, 2) + Param("SCR", 101, 0) +
                                 Param("MENU", 5, 0) + Param("MX", 101, 50) + Param("MY", 101, 50) +
                                 "</Parameter_List>";
        ASSERT_EQ(ReadParameterList(testxml::Parse(list), *alg.GetParamVector()), 0);
        editor = std::make_unique<CountingEditor>(&alg);
        ASSERT_EQ(editor->ReadLayout(testxml::Parse(kLayout)), 0);
        R hatch(0, 0, kHeight, kWidth);
        editor->InitHatch(hatch);
        editor->ActivateWindow(&window);
        static_cast<wxWindow*>(window.deviceContext)->SetFocus();
        Idle();
        display::Pump(50);
    }
    void TearDown() override {
        if (editor)
            editor->Dispose();
        editor.reset();
        if (window.renderingContext)
            GMDisposeRC(window);
        if (window.windowHandle)
            KMDisposeWindow(window);
        if (display::Ready()) {
            display::Pump(20);
            RMDispose();
        }
    }
    void Forward(KEEventTypes event, KCEventData* data) {
        if (!editor)
            return;
        bool handled = false;
        switch (event) {
        case eMouseDown:
            editor->DoMouseDown(nullptr, data);
            break;
        case eMouseMove:
            editor->DoMouseMove(nullptr, data);
            break;
        case eMouseUp:
            editor->DoMouseUp(nullptr, data);
            break;
        case eKeyDown:
            editor->DoKey(nullptr, data, &handled);
            break;
        default:
            break;
        }
    }
    void Idle() {
        GMBind2RC(window);
        editor->DoIdle();
        glFinish();
    }
    Pixel Read(int x, int y) {
        GMBind2RC(window);
        std::array<uint8_t, 4> p{};
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(x, kHeight - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
        return {p[0], p[1], p[2]};
    }
    // A white pixel at (x, y) or next to it (a line's pixels depend on the
    // rasterizer's rule).
    bool WhiteNear(int x, int y) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (Read(x + dx, y + dy) == Pixel{255, 255, 255})
                    return true;
        return false;
    }
    // Paints a 2 x 2 mark into the back buffer, as no draw of the editor
    // would; a redraw over it replaces it.
    void Mark(int x, int y) {
        GMBind2RC(window);
        glPushAttrib(GL_SCISSOR_BIT | GL_COLOR_BUFFER_BIT);
        glEnable(GL_SCISSOR_TEST);
        glScissor(x, kHeight - 2 - y, 2, 2);
        glClearColor(1, 0, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glPopAttrib();
        glFinish();
    }
    void MoveTo(int x, int y) {
        sim.MouseMove(display::Screen(window, x, y));
        display::PumpUntil([&] {
            const display::Call* c = log.Last(eMouseMove);
            return c && c->data.GetMouseLocation() == KCPoint<short>(x, y);
        });
    }
    void Click(int x, int y) {
        MoveTo(x, y);
        const size_t ups = log.Count(eMouseUp);
        sim.MouseClick();
        display::PumpUntil([&] { return log.Count(eMouseUp) > ups; });
    }
    void Drag(int x1, int y1, int x2, int y2) {
        MoveTo(x1, y1);
        sim.MouseDown();
        display::PumpUntil([&] { return log.Count(eMouseDown) > 0; });
        MoveTo(x2, y2);
        const size_t ups = log.Count(eMouseUp);
        sim.MouseUp();
        display::PumpUntil([&] { return log.Count(eMouseUp) > ups; });
    }
    double State(unsigned long p) const { return alg.GetParamState(p); }

    display::Log log;
    KCWindow window;
    cALGORITHM alg{nullptr, nullptr};
    std::unique_ptr<CountingEditor> editor;
    wxUIActionSimulator sim;
    const Pixel kMagenta{255, 0, 255};
};

TEST_F(EditorGestures, IdleTicksRedrawOnlyWhatChanged) {
    // Nothing changed: the tick draws nothing (the marks stay).
    const uint64_t draws = editor->GetRedrawCount();
    Mark(5, 5);
    Mark(60, 28);
    Idle();
    EXPECT_EQ(Read(5, 5), kMagenta);
    EXPECT_EQ(editor->GetRedrawCount(), draws);

    // A value the algorithm changes itself is drawn at the next tick, in
    // its control's area only: the slider's mark goes, the other stays.
    alg.SetParamState(0, 100);
    Idle();
    EXPECT_EQ(editor->GetRedrawCount(), draws + 1);
    EXPECT_NE(Read(60, 28), kMagenta);
    EXPECT_EQ(Read(5, 5), kMagenta);
    const R area = editor->GetLastRedrawArea();
    EXPECT_TRUE(area.left <= 20 && area.right >= 120 && area.Width() < kWidth);
    EXPECT_EQ(Read(117, 28), (Pixel{220, 220, 225})); // the thumb at the end

    // The host's own request (an expose of the whole view) redraws it all.
    R view(0, 0, kHeight, kWidth);
    editor->SetRefresh(&view);
    Idle();
    EXPECT_NE(Read(5, 5), kMagenta);
    EXPECT_EQ(editor->GetLastRedrawArea(), view);
}

TEST_F(EditorGestures, ADragShowsEachValueAtTheNextTick) {
    MoveTo(70, 28);
    sim.MouseDown();
    display::PumpUntil([&] { return log.Count(eMouseDown) > 0; });
    for (int x : {80, 95, 110}) {
        const double before = State(0);
        MoveTo(x, 28);
        const uint64_t draws = editor->GetRedrawCount();
        Idle();
        EXPECT_GT(State(0), before);
        EXPECT_EQ(editor->GetRedrawCount(), draws + 1);
    }
    sim.MouseUp();
    display::PumpUntil([&] { return log.Count(eMouseUp) > 0; });
}

TEST_F(EditorGestures, ValueControlsTakeClicksAndDrags) {
    // Radio buttons: the third of three.
    Click(215, 28);
    EXPECT_EQ(State(1), 2.0);
    // Inc/dec: upper half up, lower half down.
    Click(30, 55);
    EXPECT_EQ(State(2), 6.0);
    Click(30, 85);
    Click(30, 85);
    EXPECT_EQ(State(2), 4.0);
    // L/R/B (bars from y 65 to 130, 65 pixels): linked (both) by default, a
    // click sets the left to the height clicked and moves the right along.
    Click(70, 98); // half way up
    const double left = State(3), right = State(4);
    EXPECT_NEAR(left, 50.0, 1.0);
    EXPECT_EQ(right - left, 20.0);
    // The right channel alone (1 of 65 pixels up: state 2); a drag keeps
    // the value its press set (10 pixels up: 15).
    Click(90, 55);
    Click(110, 129);
    EXPECT_EQ(State(3), left);
    EXPECT_EQ(State(4), 2.0);
    Drag(110, 120, 110, 70);
    EXPECT_EQ(State(4), 15.0);
    // Scroller: a click after the thumb pages a tenth of the range.
    Click(200, 146);
    EXPECT_EQ(State(7), 10.0);
    // Multi-field: select the second field, then Shift-click the first;
    // the up arrow steps both.
    Click(210, 58);
    wxUIActionSimulator keys;
    MoveTo(160, 58);
    keys.KeyDown(WXK_SHIFT);
    sim.MouseClick();
    keys.KeyUp(WXK_SHIFT);
    display::Pump(50);
    const size_t before = log.Count(eKeyDown);
    keys.Char(WXK_UP);
    display::PumpUntil([&] { return log.Count(eKeyDown) > before; });
    EXPECT_EQ(State(5), 2.0);
    EXPECT_EQ(State(6), 3.0);
}

TEST_F(EditorGestures, AMarkerMovesItsParametersAndRedrawsItsGraph) {
    auto* graph = dynamic_cast<KCGraph*>(editor->FindControlForParam(9));
    ASSERT_NE(graph, nullptr);
    ASSERT_EQ(graph->GetMarkers().size(), 1u);
    Idle();
    Drag(70, 195, 95, 180);
    // 25 of 100 pixels across, 15 of 70 up.
    EXPECT_EQ(State(9), 75.0);
    EXPECT_NEAR(State(10), 50.0 + 15 * 100.0 / 70, 1.0);
    Mark(25, 165);
    Idle();
    EXPECT_NE(Read(25, 165), kMagenta); // the whole graph was drawn again
    const R marker = graph->GetMarkers().front()->GetDrawableRect();
    EXPECT_EQ(Read((marker.left + marker.right) / 2, (marker.top + marker.bottom) / 2),
              (Pixel{255, 255, 255})); // the focused marker
}

TEST_F(EditorGestures, TabWalksTheFocusAndShiftTabWalksBack) {
    wxUIActionSimulator keys;
    const std::vector<cControl_X*>& order = editor->GetSelectableList();
    ASSERT_GE(order.size(), 3u);
    keys.Char(WXK_TAB);
    display::PumpUntil([&] { return editor->GetFocus() != nullptr; });
    EXPECT_EQ(editor->GetFocus(), order[0]);
    keys.Char(WXK_TAB);
    display::PumpUntil([&] { return editor->GetFocus() == order[1]; });
    keys.Char(WXK_TAB, wxMOD_SHIFT);
    display::PumpUntil([&] { return editor->GetFocus() == order[0]; });
    EXPECT_EQ(editor->GetFocus(), order[0]);
}

TEST_F(EditorGestures, AMenuButtonOpensItsMenuOverTheWindowOnly) {
    std::vector<KCMenuEx::Item> shown;
    KCMenuEx::SetChooser([&](const KCMenuEx& menu) {
        shown = menu.GetItems();
        return 3;
    });
    Click(170, 88);
    EXPECT_EQ(shown.size(), 5u);
    EXPECT_EQ(State(8), 3.0);
    // Without a window the click opens nothing and does not step the value.
    shown.clear();
    editor->SetWindow(nullptr);
    KCEventData click;
    click.SetMouseDownLocation({170, 88});
    click.SetMouselocation({170, 88});
    editor->DoMouseDown(&click);
    editor->DoMouseUp(&click);
    auto* popup = dynamic_cast<CPopup_X*>(editor->FindControlForParam(8));
    ASSERT_NE(popup, nullptr);
    bool handled = false;
    popup->MouseDown(&click, nullptr, handled);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(State(8), 3.0);
    KCMenuEx::SetChooser(nullptr);
}

// Every gesture of the pointer and the keys goes through the Modify
// operations; a derived editor that keeps the mouse-down to itself keeps
// the controls from changing.
TEST_F(EditorGestures, GesturesGoThroughTheModifyOperations) {
    editor->calls.clear();
    Drag(70, 28, 110, 28);
    EXPECT_GT(State(0), 50.0);
    EXPECT_EQ(editor->calls["bardown"], 1);
    EXPECT_EQ(editor->calls["down"], 1);
    EXPECT_GE(editor->calls["drag"], 1);
    EXPECT_EQ(editor->calls["up"], 1);
    EXPECT_GE(editor->calls["hover"], 1); // the moves before the press
    wxUIActionSimulator keys;
    const size_t before = log.Count(eKeyDown);
    keys.Char(WXK_DOWN);
    display::PumpUntil([&] { return log.Count(eKeyDown) > before; });
    EXPECT_EQ(editor->calls["key"], 1);
    EXPECT_EQ(editor->calls["keyself"], 1);

    const double slider = State(0);
    editor->swallowDown = true;
    Drag(100, 28, 40, 28);
    EXPECT_EQ(State(0), slider);
    EXPECT_EQ(editor->calls["down"], 2);
}

// With drag-select a press beside the controls opens a rectangle, drawn
// while it is open, that chooses the controls it touches (never the meter
// or the graph); the arrow keys then step every chosen control.
TEST_F(EditorGestures, DragSelectChoosesControlsForTheKeys) {
    editor->SetDragSelect(true);
    MoveTo(130, 45);
    sim.MouseDown();
    display::PumpUntil([&] { return log.Count(eMouseDown) > 0; });
    MoveTo(235, 100);
    Idle();
    EXPECT_TRUE(WhiteNear(180, 100)); // the rectangle's bottom edge
    const size_t ups = log.Count(eMouseUp);
    sim.MouseUp();
    display::PumpUntil([&] { return log.Count(eMouseUp) > ups; });
    EXPECT_GE(editor->calls["select"], 1);
    // The multi-field and the menu button.
    EXPECT_EQ(editor->GetNumSelectedControllers(), 2);
    EXPECT_TRUE(editor->FindControlForParam(8)->IsSelected());
    Idle();
    EXPECT_FALSE(WhiteNear(180, 100)); // erased
    wxUIActionSimulator keys;
    const size_t before = log.Count(eKeyDown);
    keys.Char(WXK_UP);
    display::PumpUntil([&] { return log.Count(eKeyDown) > before; });
    EXPECT_EQ(State(8), 1.0);
    EXPECT_EQ(editor->GetUndoManagerRef()->GetUndoStackSize(), 1u);
    // A click on a control lets the chosen ones go.
    Click(215, 28);
    EXPECT_EQ(editor->GetNumSelectedControllers(), 0);
}

// The system bar's Switch makes the other setup active (the controls show
// its values), Reset gives the active setup's values their reset values,
// and Undo takes the reset back.
TEST_F(EditorGestures, SwitchAndResetChangeTheSetupAndTheValues) {
    Click(215, 28); // radio: 2 in setup A
    ASSERT_EQ(State(1), 2.0);
    Click(275, 48); // Switch
    EXPECT_EQ(editor->calls["switch"], 1);
    ASSERT_EQ(alg.GetActiveSetup(), eSetupB);
    EXPECT_EQ(State(1), 0.0);
    Idle();
    EXPECT_EQ(Read(150, 28), (Pixel{90, 200, 110})); // setup B's first radio button
    Click(215, 28);
    Click(30, 55); // inc/dec: 6 in setup B
    ASSERT_EQ(State(2), 6.0);
    Click(275, 68); // Reset
    EXPECT_EQ(State(1), 0.0);
    EXPECT_EQ(State(2), 5.0);
    Click(275, 88); // Undo
    EXPECT_EQ(State(1), 2.0);
    EXPECT_EQ(State(2), 6.0);
    Click(275, 48); // back to setup A, which kept its values
    ASSERT_EQ(alg.GetActiveSetup(), eSetupA);
    EXPECT_EQ(State(1), 2.0);
    EXPECT_EQ(State(2), 5.0);
}

} // namespace
