// The editor without a window: layout reading, a drag through the host's
// mouse calls, and the system bar's undo and redo.
#include "TestXML.h"
#include "guilib/Algorithm.h"
#include "guilib/StandardGUI.h"

#include <gtest/gtest.h>

namespace {

using testxml::Parse;

const char* kParams = R"(<Parameter_List>
 <Parameter Name="BAL"><Scale><Minimum>0</Minimum><Maximum>240</Maximum><Resolution>1</Resolution>
  <ScaleType>linear</ScaleType></Scale><InitialValue Type="RealWorld">120</InitialValue></Parameter>
 <Parameter Name="LED"><Scale><Minimum>0</Minimum><Maximum>1</Maximum><Resolution>2</Resolution>
  <ScaleType>toggle</ScaleType></Scale><InitialValue Type="state">0</InitialValue></Parameter>
</Parameter_List>)";

const char* kLayout = R"(<GUI Width="400" Height="300" CollapsedHeight="200">
 <Control Class="Slider" Params="0" Rect="50, 100, 70, 200" Label="Balance"/>
 <Control Class="VuMeter" Params="1" Rect="50, 10, 150, 20"/>
 <Control Class="Toggle" Params="1" Rect="100, 100, 120, 120" Images="2001,2002"/>
 <ToolBar>
  <Button Name="Undo" Rect="0,0,20,40"/>
  <Button Name="Redo" Rect="0,40,20,80"/>
  <Button Name="Utilities" Rect="0,80,20,140"/>
 </ToolBar>
</GUI>)";

class Editor : public CStandardGUI_X {
public:
    using CStandardGUI_X::CStandardGUI_X;
    void System_ExecutePluginSpecific(const std::string& name) override {
        specific.push_back(name);
    }
    std::vector<std::string> specific;
};

class EditorFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(alg.FinishCreate(), 0);
        ASSERT_EQ(ReadParameterList(Parse(kParams), *alg.GetParamVector()), 0);
        ASSERT_EQ(editor.ReadLayout(Parse(kLayout)), 0);
    }
    void Press(short x, short y) {
        e.SetMouseDownLocation({x, y});
        e.SetMouselocation({x, y});
        editor.DoMouseDown(&e);
    }
    void MoveTo(short x, short y) {
        e.SetMouselocation({x, y});
        editor.DoMouseMove(&e);
    }
    void Click(short x, short y) {
        Press(x, y);
        editor.DoMouseUp(&e);
    }
    double Balance() { return (*alg.GetParamVector())[0].realWorld[0]; }

    cALGORITHM alg{nullptr, nullptr};
    Editor editor{&alg};
    KCEventData e;
};

TEST_F(EditorFixture, ReadsTheLayout) {
    EXPECT_EQ(editor.GetNumControllers(), 3);
    EXPECT_EQ(editor.GetViewSize(), KCPoint<short>(400, 300));
    EXPECT_EQ(editor.GetCollapsedHeight(), 200);
    EXPECT_STREQ(editor.FindControlForParam(0)->GetControlClass(), "Slider");
    EXPECT_EQ(editor.GetControl(2)->GetImages(), (std::vector<short>{2001, 2002}));
    ASSERT_EQ(editor.GetToolbarButtons().size(), 3u);
    EXPECT_EQ(editor.GetToolbarButtons()[2].name, "Utilities");

    // A damaged layout is refused whole: the editor keeps what it had.
    for (const char* bad :
         {R"(<GUI Width="0" Height="5"/>)",
          R"(<GUI Width="9" Height="9"><Control Class="Knob" Params="0" Rect="0,0,5,5"/></GUI>)",
          R"(<GUI Width="9" Height="9"><Control Class="Slider" Params="x" Rect="0,0,5,5"/></GUI>)",
          R"(<GUI Width="9" Height="9"><Control Class="Slider" Params="0" Rect="0,0,0,5"/></GUI>)"})
        EXPECT_EQ(editor.ReadLayout(Parse(bad)), -1) << bad;
    EXPECT_EQ(editor.GetNumControllers(), 3);
}

TEST_F(EditorFixture, DragUndoAndRedoThroughTheSystemBar) {
    Press(150, 60);
    MoveTo(170, 60);
    MoveTo(900, 60); // far past the end
    editor.DoMouseUp(&e);
    EXPECT_DOUBLE_EQ(Balance(), 240);
    EXPECT_EQ(editor.GetUndoManagerRef()->GetUndoStackSize(), 1u); // one step per gesture

    // A click that changes nothing leaves no undo step; a read-only meter
    // takes no gesture.
    Click(150, 5 + 50);
    Click(15, 100);
    EXPECT_EQ(editor.GetUndoManagerRef()->GetUndoStackSize(), 1u);

    Click(10, 10); // Undo
    EXPECT_DOUBLE_EQ(Balance(), 120);
    Click(50, 10); // Redo
    EXPECT_DOUBLE_EQ(Balance(), 240);

    // A button fires only when the mouse is released over it.
    Press(100, 10);
    EXPECT_NE(editor.GetPressedToolbarButton(), nullptr);
    e.SetMouselocation({300, 200});
    editor.DoMouseUp(&e);
    EXPECT_TRUE(editor.specific.empty());
    Click(100, 10);
    EXPECT_EQ(editor.specific, std::vector<std::string>{"Utilities"});

    // A key step after a click is its own undo step.
    Click(110, 110);
    const size_t steps = editor.GetUndoManagerRef()->GetUndoStackSize();
    bool handled = false;
    e.SetKeyCode(eKeyDownArrow);
    editor.DoKey(&e, handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(editor.GetUndoManagerRef()->GetUndoStackSize(), steps + 1);
}

// The host's slots while no window is set: nothing to draw into, nothing
// visible and no event handled; the view is the layout's (the host sizes
// its windows by it before they exist).
TEST_F(EditorFixture, HostSlotsWithoutAWindow) {
    EXPECT_EQ(editor.FinishCreate(nullptr), 0);
    EXPECT_EQ(editor.SetRefresh(nullptr), CStandardGUI_X::kNotReady);
    KURect<short> view{1, 2, 3, 4};
    editor.GetViewRect(view);
    EXPECT_EQ(view, KURect<short>(0, 0, editor.GetViewSize().y, editor.GetViewSize().x));
    EXPECT_FALSE(view.IsEmpty());
    EXPECT_FALSE(editor.IsVisible());
    e.SetMouseDownLocation({150, 60});
    e.SetMouselocation({150, 60});
    EXPECT_EQ(editor.DoMouseDown(nullptr, &e), 0);
    EXPECT_EQ(editor.DoMouseUp(nullptr, &e), 0);
    EXPECT_EQ(editor.GetUndoManagerRef()->GetUndoStackSize(), 0u);
    bool handled = true;
    EXPECT_EQ(editor.DoKeyDown(nullptr, &e, &handled), 0);
    EXPECT_FALSE(handled);
    std::string text = "x";
    EXPECT_NE(editor.TranslateController(99, 0.5, text), 0); // no such controller
    EXPECT_TRUE(text.empty());
    editor.Dispose();
}

// An editor made without its algorithm is tied to it afterwards, and with
// no layout it has no controls.
TEST(StandardGUI, LateAlgorithmAndNoLayout) {
    cALGORITHM alg{nullptr, nullptr};
    ASSERT_EQ(alg.FinishCreate(), 0);
    CStandardGUI_X editor(nullptr);
    editor.InitDefaultGUI(&alg);
    EXPECT_EQ(editor.GetAlg(), &alg);
    EXPECT_EQ(editor.FinishCreate(nullptr), 0);
    EXPECT_EQ(editor.GetNumControllers(), 0);
    editor.PresetModified(eSetupA);
    EXPECT_TRUE(editor.IsPresetModified(eSetupA));
    editor.DoIdle();
}

} // namespace
