// The editor without a window: layout reading, a drag through the host's
// mouse calls, the system bar's hooks, the automation slots and copies.
#include "TestXML.h"
#include "guilib/Algorithm.h"
#include "guilib/MessageService.h"
#include "guilib/StandardGUI.h"
#include "ui/KCWindow.h"

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
    EXPECT_EQ(editor.DoKey(nullptr, &e, &handled), 0);
    EXPECT_FALSE(handled);
    std::string text = "x";
    EXPECT_NE(editor.TranslateController(99, 0.5, text), 0); // no such controller
    EXPECT_TRUE(text.empty());
    editor.Dispose();
}

// The part of the editor the host shows: until the host tells it, all of
// it; then some of the view must be in the region, and a new region asks for
// a redraw while the same one does not.
TEST_F(EditorFixture, VisibleOnlyWhileSomeOfTheViewIsShown) {
    KCWindow window;
    editor.SetPluginWindow(&window);
    EXPECT_TRUE(editor.IsVisible());
    const KCPoint<short> size = editor.GetViewSize();
    const KURect<short> corner(size.y - 5, size.x - 5, size.y + 40, size.x + 40);
    const KURect<short> beside(size.y + 1, 0, size.y + 40, size.x);
    const struct {
        KCRegion region;
        bool visible;
    } cases[] = {{KCRegion(), false},
                 {KCRegion(corner), true},
                 {KCRegion(beside), false},
                 {KCRegion(KURect<short>(0, 0, size.y, size.x)), true}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        editor.ClearRefresh();
        editor.SetVisible(c.region);
        EXPECT_EQ(editor.IsVisible(), c.visible) << "case " << i;
        EXPECT_TRUE(editor.NeedRefresh());
        editor.ClearRefresh();
        editor.SetVisible(c.region);
        EXPECT_FALSE(editor.NeedRefresh());
    }
    editor.SetPluginWindow(nullptr);
    EXPECT_FALSE(editor.IsVisible());
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

// An algorithm that counts the copies of its setups.
class CopyCountingAlg : public cALGORITHM {
public:
    CopyCountingAlg() : cALGORITHM(nullptr, nullptr) {}
    std::vector<std::pair<long, long>> copies;

protected:
    void CopySetupSelf(long from, long to) override { copies.emplace_back(from, to); }
};

const char* kBarLayout = R"(<GUI Width="400" Height="300">
 <Control Class="Slider" Params="0" Rect="50, 100, 70, 200"/>
 <Control Class="Toggle" Params="1" Rect="100, 100, 120, 120"/>
 <ToolBar>
  <Button Name="Undo" Rect="0,0,20,40"/>
  <Button Name="Redo" Rect="0,40,20,80"/>
  <Button Name="Switch" Rect="0,80,20,120"/>
  <Button Name="Reset" Rect="0,120,20,160"/>
  <Button Name="Copy" Rect="0,160,20,200"/>
  <Button Name="Rename" Rect="0,200,20,240"/>
  <Button Name="About" Rect="0,240,20,280"/>
  <Button Name="Help" Rect="0,280,20,320"/>
 </ToolBar>
</GUI>)";

class SystemBarFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(alg.FinishCreate(), 0);
        ASSERT_EQ(ReadParameterList(Parse(kParams), *alg.GetParamVector()), 0);
        ASSERT_EQ(editor.ReadLayout(Parse(kBarLayout)), 0);
        oldBox = KMMessageService::SetHandler(
            [this](const std::string& text, const std::string& caption, KMMessageService::Kind) {
                boxes.push_back(caption + ": " + text);
                return static_cast<int>(KMMessageService::kOK);
            });
    }
    void TearDown() override { KMMessageService::SetHandler(oldBox); }
    void Click(short x, short y) {
        e.SetMouseDownLocation({x, y});
        e.SetMouselocation({x, y});
        editor.DoMouseDown(&e);
        editor.DoMouseUp(&e);
    }
    void Button(const std::string& name) {
        for (const X_CToolbarButton& b : editor.GetToolbarButtons())
            if (b.name == name)
                return Click(static_cast<short>(b.rect.left + 2),
                             static_cast<short>(b.rect.top + 2));
        ADD_FAILURE() << name;
    }
    bool Available(const std::string& name) {
        for (const X_CToolbarButton& b : editor.GetToolbarButtons())
            if (b.name == name)
                return b.available;
        return false;
    }
    void DragBalanceTo(short x) {
        e.SetMouseDownLocation({150, 60});
        e.SetMouselocation({150, 60});
        editor.DoMouseDown(&e);
        e.SetMouselocation({x, 60});
        editor.DoMouseMove(&e);
        editor.DoMouseUp(&e);
    }
    double Balance(EPluginSetup s) { return (*alg.GetParamVector())[0].realWorld[s]; }

    CopyCountingAlg alg;
    CStandardGUI_X editor{&alg};
    KCEventData e;
    std::vector<std::string> boxes;
    KMMessageService::Handler oldBox;
};

// Switch makes the other setup active, Reset gives the active setup's
// values their reset values in one undo step, an undo after a switch puts
// back the setup its step was made in, and Copy copies the active setup
// onto the other one through the plug-in's copy.
TEST_F(SystemBarFixture, SwitchResetUndoAndCopyChangeTheSetups) {
    EXPECT_FALSE(Available("Undo"));
    DragBalanceTo(900); // setup A: 240
    EXPECT_TRUE(Available("Undo"));
    EXPECT_FALSE(Available("Redo"));
    EXPECT_TRUE(editor.IsPresetModified(eSetupA));
    Button("Switch");
    ASSERT_EQ(alg.GetActiveSetup(), eSetupB);
    EXPECT_DOUBLE_EQ(Balance(eSetupB), 120);
    DragBalanceTo(0); // setup B: 0
    alg.SetParamState(1, 1);
    EXPECT_DOUBLE_EQ(Balance(eSetupB), 0);
    const size_t steps = editor.GetUndoManagerRef()->GetUndoStackSize();
    Button("Reset");
    EXPECT_DOUBLE_EQ(Balance(eSetupB), 120);
    EXPECT_EQ(alg.GetParamState(1), 0.0);
    EXPECT_DOUBLE_EQ(Balance(eSetupA), 240); // the other setup keeps its values
    EXPECT_EQ(editor.GetUndoManagerRef()->GetUndoStackSize(), steps + 1);
    EXPECT_FALSE(editor.IsPresetModified(eSetupB));
    Button("Undo"); // the reset
    EXPECT_DOUBLE_EQ(Balance(eSetupB), 0);
    EXPECT_EQ(alg.GetParamState(1), 1.0);
    Button("Switch");
    ASSERT_EQ(alg.GetActiveSetup(), eSetupA);
    Button("Undo"); // the drag made in setup B
    EXPECT_DOUBLE_EQ(Balance(eSetupB), 120);
    EXPECT_DOUBLE_EQ(Balance(eSetupA), 240);
    EXPECT_TRUE(Available("Redo"));

    Button("Copy");
    EXPECT_EQ(alg.copies, (std::vector<std::pair<long, long>>{{0, 1}}));
    EXPECT_DOUBLE_EQ(Balance(eSetupB), 240);
    EXPECT_EQ(alg.GetActiveSetup(), eSetupA);
}

// Every editor tied to an algorithm hears its events once, whoever caused
// them (the host, another editor's tool bar), and stops hearing them when it
// goes or is tied elsewhere; a copy listens as its original does.
struct HeardEditor : CStandardGUI_X {
    using CStandardGUI_X::CStandardGUI_X;
    void ActiveSetupChanged(EPluginSetup s) override {
        heard.push_back(std::string("active ") + (s == eSetupA ? "A" : "B"));
        CStandardGUI_X::ActiveSetupChanged(s);
    }
    void SetupTitleChanged(EPluginSetup s, const std::string* title) override {
        heard.push_back("title " + (title ? *title : std::string()));
        CStandardGUI_X::SetupTitleChanged(s, title);
    }
    void PresetLoaded() override {
        heard.push_back("loaded");
        CStandardGUI_X::PresetLoaded();
    }
    std::vector<std::string> heard;
};

TEST_F(SystemBarFixture, TiedEditorsHearTheAlgorithmsEventsOnce) {
    HeardEditor tied{&alg};
    ASSERT_TRUE(alg.ChangeActiveSetup(eSetupB));
    Button("Switch"); // the fixture's editor switches back to A
    alg.SetSetupName("Loud", eSetupA);
    Button("Copy"); // the fixture's editor copies A, with its title, onto B
    EXPECT_EQ(tied.heard,
              (std::vector<std::string>{"active B", "active A", "title Loud", "title Loud"}));
    EXPECT_EQ(alg.GetSetupName(eSetupB), "Loud");

    {
        HeardEditor copy(tied);
        copy.heard.clear();
        alg.ToggleActiveSetup(alg.GetActiveSetup());
        EXPECT_EQ(copy.heard, (std::vector<std::string>{"active B"}));
    }
    HeardEditor later{nullptr};
    later.InitDefaultGUI(&alg);
    tied.InitDefaultGUI(nullptr);
    tied.heard.clear();
    alg.ToggleActiveSetup(alg.GetActiveSetup()); // the copy has gone: nothing calls it
    EXPECT_TRUE(tied.heard.empty());
    EXPECT_EQ(later.heard, (std::vector<std::string>{"active A"}));
}

// Rename asks for the active setup's title (a cancelled question changes
// nothing); About without an about image and Help answer in a box.
TEST_F(SystemBarFixture, RenameAboutAndHelp) {
    std::string answer = "Bright";
    std::vector<std::string> proposed;
    auto old = KMMessageService::SetTextHandler(
        [&](const std::string&, const std::string& caption, std::string& text) {
            proposed.push_back(caption + ": " + text);
            if (answer.empty())
                return false;
            text = answer;
            return true;
        });
    Button("Rename");
    EXPECT_EQ(alg.GetSetupName(eSetupA), "Bright");
    EXPECT_EQ(alg.GetSetupName(eSetupB), "");
    answer.clear();
    Button("Rename");
    EXPECT_EQ(alg.GetSetupName(eSetupA), "Bright");
    EXPECT_EQ(proposed, (std::vector<std::string>{"Rename Setup: ", "Rename Setup: Bright"}));
    KMMessageService::SetTextHandler(old);

    alg.SetInfoString(0, "DulmDSP");
    Button("About");
    Button("Help");
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0], "About: DulmDSP");
    EXPECT_EQ(boxes[1].rfind("Help: ", 0), 0u);
    EXPECT_NE(boxes[1].find("Switch"), std::string::npos);
}

// The host's automation slots reach the control at the controller's place
// in the layout; an unknown controller is an error.
TEST_F(SystemBarFixture, AutomationSlotsGoToTheControllersControl) {
    EXPECT_EQ(editor.SetControllerValue(0, 1.0), 0);
    EXPECT_DOUBLE_EQ(Balance(eSetupA), 240);
    EXPECT_EQ(editor.SetAutomationRefCons(0, 7, 9), 0);
    EXPECT_EQ(editor.GetControl(0)->GetAutomationRefCon1(), 7);
    EXPECT_EQ(editor.GetControl(0)->GetAutomationRefCon2(), 9);
    EXPECT_EQ(editor.SetControlHighlightInfo(1, true, false), 0);
    EXPECT_TRUE(editor.GetControl(1)->IsHighlighted());
    std::string text;
    (*alg.GetParamVector())[0].SetDisplayFunc(FrameworkDisplayFunc("DisplayFloat0"));
    EXPECT_EQ(editor.TranslateController(0, 0.5, text), 0);
    std::string expected;
    (*alg.GetParamVector())[0].TranslateValueString(500, expected);
    EXPECT_EQ(text, expected);
    EXPECT_FALSE(text.empty());

    ControllerAutomationInfoVer6 info[2];
    EXPECT_EQ(editor.GetControlAutomationInfo(info), 2);
    EXPECT_EQ(info[0].refCon1, 7);
    EXPECT_EQ(info[1].paramIndex, 1u);
    EXPECT_EQ(info[1].states, 2.0);

    char name[8] = "xxxxxxx";
    EXPECT_EQ(editor.GetControlNameOfLength(0, 8, name), 0);
    EXPECT_STREQ(name, "BAL");
    EXPECT_EQ(editor.GetControlNameOfLength(0, 3, name), 0);
    EXPECT_STREQ(name, "BA");
    for (unsigned long bad : {2ul, 99ul}) {
        EXPECT_NE(editor.SetControllerValue(bad, 0.0), 0);
        EXPECT_NE(editor.SetAutomationRefCons(bad, 1, 1), 0);
        EXPECT_NE(editor.SetControlHighlightInfo(bad, true, true), 0);
        EXPECT_NE(editor.GetControlNameOfLength(bad, 8, name), 0);
    }
    long index = 0;
    EXPECT_EQ(editor.InsideWhichControl({110, 110}, &index), editor.GetControl(1));
    EXPECT_EQ(index, 1);
    EXPECT_EQ(editor.InsideWhichControl({5, 200}, &index), nullptr);
    EXPECT_EQ(index, -1);
}

// A derived editor reads the layout's elements the library does not know,
// and may refuse the layout for one.
class SpecificEditor : public CStandardGUI_X {
public:
    using CStandardGUI_X::CStandardGUI_X;
    long ReadXML_PluginSpecific(const kvXML::CXMLElement* e) override {
        seen.push_back(e->name.c_str());
        return seen.back() == "Broken" ? -1 : 0;
    }
    std::vector<std::string> seen;
};

TEST(StandardGUI, PluginSpecificLayoutElements) {
    cALGORITHM alg{nullptr, nullptr};
    ASSERT_EQ(alg.FinishCreate(), 0);
    SpecificEditor editor(&alg);
    ASSERT_EQ(editor.ReadLayout(Parse(R"(<GUI Width="9" Height="9"><Colors/><ToolBar/></GUI>)")),
              0);
    EXPECT_EQ(editor.seen, std::vector<std::string>{"Colors"});
    EXPECT_EQ(editor.ReadLayout(Parse(R"(<GUI Width="8" Height="8"><Broken/></GUI>)")), -1);
    EXPECT_EQ(editor.GetViewSize(), KCPoint<short>(9, 9));
}

// The layout's control classes: the algorithm's own first, then the
// library's; a class neither knows refuses the layout.
TEST(StandardGUI, TheAlgorithmMakesTheControlClassesItKnows) {
    struct LampAlg : cALGORITHM {
        LampAlg() : cALGORITHM(nullptr, nullptr) {}
        cControl_X* CreateSpecificControls(CStandardGUI_X* gui, std::string& name) override {
            asked.push_back(name);
            askedBy = gui;
            return name == "Lamp" ? new CToggle_X() : nullptr;
        }
        std::vector<std::string> asked;
        CStandardGUI_X* askedBy = nullptr;
    } alg;
    ASSERT_EQ(alg.FinishCreate(), 0);
    ASSERT_EQ(ReadParameterList(Parse(kParams), *alg.GetParamVector()), 0);
    CStandardGUI_X editor(&alg);
    ASSERT_EQ(editor.ReadLayout(Parse(R"(<GUI Width="400" Height="300">
 <Control Class="Lamp" Params="1" Rect="10, 10, 20, 20"/>
 <Control Class="Slider" Params="0" Rect="50, 100, 70, 200"/>
</GUI>)")),
              0);
    EXPECT_EQ(alg.asked, (std::vector<std::string>{"Lamp", "Slider"}));
    EXPECT_EQ(alg.askedBy, &editor);
    ASSERT_EQ(editor.GetNumControllers(), 2);
    EXPECT_NE(dynamic_cast<CToggle_X*>(editor.GetControl(0)), nullptr);
    EXPECT_NE(dynamic_cast<CSlider_X*>(editor.GetControl(1)), nullptr);
    EXPECT_EQ(editor.ReadLayout(Parse(R"(<GUI Width="400" Height="300">
 <Control Class="Unheard" Params="0" Rect="10, 10, 20, 20"/>
</GUI>)")),
              -1);
}

// A copy has controls of its own (its markers sit on its own graph) and
// lives on after the editor it was copied from; its undo list starts empty.
TEST(StandardGUI, CopiesOwnTheirControls) {
    cALGORITHM alg{nullptr, nullptr};
    ASSERT_EQ(alg.FinishCreate(), 0);
    ASSERT_EQ(ReadParameterList(Parse(kParams), *alg.GetParamVector()), 0);
    auto original = std::make_unique<CStandardGUI_X>(&alg);
    ASSERT_EQ(original->ReadLayout(Parse(R"(<GUI Width="400" Height="300">
 <Control Class="Slider" Params="0" Rect="50, 100, 70, 200"/>
 <Control Class="Graph" Params="1" Rect="100, 100, 200, 200"/>
 <Control Class="Marker" Params="0,1" Rect="140, 140, 150, 150"/>
</GUI>)")),
              0);
    KCEventData e;
    e.SetMouseDownLocation({150, 60});
    e.SetMouselocation({150, 60});
    original->DoMouseDown(&e);
    e.SetMouselocation({900, 60});
    original->DoMouseMove(&e);
    original->DoMouseUp(&e);
    ASSERT_EQ(original->GetUndoManagerRef()->GetUndoStackSize(), 1u);

    CStandardGUI_X copy(*original);
    ASSERT_EQ(copy.GetNumControllers(), 3);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_NE(copy.GetControl(i), original->GetControl(i));
    auto* graph = dynamic_cast<KCGraph*>(copy.GetControl(1));
    auto* marker = dynamic_cast<CMarker_X*>(copy.GetControl(2));
    ASSERT_TRUE(graph && marker);
    EXPECT_EQ(marker->GetMarkerHome(), static_cast<KCMarkerHome*>(graph));
    EXPECT_EQ(graph->GetMarkers(), std::vector<CMarker_X*>{marker});
    EXPECT_EQ(copy.GetUndoManagerRef()->GetUndoStackSize(), 0u);
    original.reset();

    e.SetMouseDownLocation({150, 60});
    e.SetMouselocation({150, 60});
    copy.DoMouseDown(&e);
    e.SetMouselocation({0, 60});
    copy.DoMouseMove(&e);
    copy.DoMouseUp(&e);
    EXPECT_DOUBLE_EQ(alg.GetParamState(0), 0);
    EXPECT_EQ(copy.GetUndoManagerRef()->GetUndoStackSize(), 1u);
    CStandardGUI_X assigned(nullptr);
    assigned = copy;
    EXPECT_EQ(assigned.GetNumControllers(), 3);
    EXPECT_EQ(assigned.GetAlg(), &alg);
}

} // namespace
