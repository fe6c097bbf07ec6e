// Controls over a real algorithm: gestures to states, clamping at the
// scale's ends, one undo step per gesture, and the companion classes.
#include "TestXML.h"
#include "guilib/Algorithm.h"
#include "guilib/Controls.h"
#include "guilib/StandardGUI.h"
#include "guilib/Undo.h"

#include <gtest/gtest.h>

namespace {

class ControlFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(alg.FinishCreate(), 0);
        const std::string list = R"(<Parameter_List>
 <Parameter Name="BAL"><Scale><Minimum>0</Minimum><Maximum>240</Maximum><Resolution>1</Resolution>
  <ScaleType>linear</ScaleType></Scale><InitialValue Type="RealWorld">120</InitialValue></Parameter>
 <Parameter Name="MODE"><Scale><Minimum>0</Minimum><Maximum>2</Maximum><Resolution>3</Resolution>
  <ScaleType>toggle</ScaleType></Scale><InitialValue Type="state">1</InitialValue></Parameter>
</Parameter_List>)";
        ASSERT_EQ(ReadParameterList(testxml::Parse(list), *alg.GetParamVector()), 0);
    }
    double RealWorld(unsigned long p) { return (*alg.GetParamVector())[p].realWorld[0]; }

    cALGORITHM alg{nullptr, nullptr};
};

KCEventData Drag(KCPoint<short> down, KCPoint<short> now) {
    KCEventData e;
    e.SetMouseDownLocation(down);
    e.SetMouselocation(now);
    return e;
}

TEST_F(ControlFixture, SliderDragPastTheEndStopsThereAndUndoesInOneStep) {
    CSlider_X slider;
    slider.SetAlgorithm(&alg);
    slider.RegisterParam(0);
    slider.SetDrawableRect(KURect<short>(10, 10, 30, 110)); // horizontal, 100 px
    kvUndo::KCUndoManager undo;
    auto* gesture = new kvUndo::KCUndoCommandParams("Balance", alg, slider.GetParamIndices());
    KCEventData e = Drag({20, 20}, {20, 20});
    bool handled = false;
    slider.MouseDown(&e, nullptr, handled);
    EXPECT_TRUE(handled);
    e = Drag({20, 20}, {45, 20}); // a quarter of the travel
    slider.MouseDrag(&e, 25, 0, nullptr);
    EXPECT_DOUBLE_EQ(RealWorld(0), 180);
    e = Drag({20, 20}, {400, 20}); // far past the end
    slider.MouseDrag(&e, 355, 0, nullptr);
    EXPECT_DOUBLE_EQ(RealWorld(0), 240);
    slider.MouseUp(&e);
    ASSERT_TRUE(gesture->DiffersFromCurrent());
    undo.InsertCommand(gesture, kvUndo::eInsertToUndoStack);
    undo.Undo();
    EXPECT_DOUBLE_EQ(RealWorld(0), 120);
    undo.Redo();
    EXPECT_DOUBLE_EQ(RealWorld(0), 240);

    // Arrow keys step by one state; a vertical slider rises when dragged up.
    bool keyHandled = false;
    e.SetKeyCode(eKeyLeftArrow);
    slider.Key(&e, keyHandled);
    EXPECT_TRUE(keyHandled);
    EXPECT_DOUBLE_EQ((*alg.GetParamVector())[0].state[0], 999);
    slider.SetDrawableRect(KURect<short>(0, 0, 200, 20));
    e = Drag({5, 100}, {5, 100});
    slider.MouseDown(&e, nullptr, handled);
    e = Drag({5, 100}, {5, 300});
    slider.MouseDrag(&e, 0, 200, nullptr);
    EXPECT_DOUBLE_EQ(RealWorld(0), 0);
}

TEST_F(ControlFixture, ToggleButtonAndReadOnlyControls) {
    CToggle_X toggle;
    toggle.SetAlgorithm(&alg);
    toggle.RegisterParam(1);
    KCEventData e;
    bool handled = false;
    toggle.MouseDown(&e, nullptr, handled);
    EXPECT_DOUBLE_EQ(RealWorld(1), 2);
    toggle.MouseDown(&e, nullptr, handled);
    EXPECT_DOUBLE_EQ(RealWorld(1), 0); // wraps after the last state

    CVuMeter_X meter;
    meter.SetAlgorithm(&alg);
    meter.RegisterParam(1);
    meter.MouseDown(&e, nullptr, handled);
    EXPECT_FALSE(handled);
    EXPECT_DOUBLE_EQ(RealWorld(1), 0);
    EXPECT_STREQ(meter.GetControlClass(), "VuMeter");
    // A meter never takes part in a drag-select, however it lies.
    meter.SetDrawableRect(KURect<short>(0, 0, 50, 10));
    EXPECT_FALSE(meter.DoYouIntersect(KURect<short>(0, 0, 50, 10)));
    toggle.SetDrawableRect(KURect<short>(0, 0, 50, 10));
    EXPECT_TRUE(toggle.DoYouIntersect(KURect<short>(40, 5, 60, 20)));

    // Typed text reports whether the parameter took it.
    CDigitDisplay_X digits;
    digits.SetAlgorithm(&alg);
    digits.RegisterParam(0);
    cControl_X::ETranslateTextRetType taken = cALGORITHM::eTranslateInvalid;
    EXPECT_EQ(digits.EnterText("60", taken), nullptr);
    EXPECT_EQ(taken, cALGORITHM::eTranslateValid);
    EXPECT_DOUBLE_EQ(RealWorld(0), 60);
    digits.SetReadOnly(true);
    digits.EnterText("100", taken);
    EXPECT_EQ(taken, cALGORITHM::eTranslateInvalid);
    EXPECT_DOUBLE_EQ(RealWorld(0), 60);

    // The menu converts to its native reference.
    KCMenuEx menu;
    EXPECT_EQ(static_cast<void*>(menu), menu.GetMenuRef());

    CButton_X button;
    button.SetAlgorithm(&alg);
    button.RegisterParam(1);
    button.MouseDown(&e, nullptr, handled);
    EXPECT_DOUBLE_EQ(RealWorld(1), 1);
    button.MouseUp(&e);
    EXPECT_DOUBLE_EQ(RealWorld(1), 0);
}

struct HoverProbe : CButton_X {
    using KCMouseHover::setHoverState;
};

TEST(ControlMembers, HoverDependentsImagesAndSelections) {
    HoverProbe c;
    c.setHoverState(3);
    c.setHoverState(5);
    EXPECT_EQ(c.GetHoverState(), 5);
    EXPECT_EQ(c.GetPreviousHoverState(), 3);

    CToggle_X other;
    c.AddDependentPtr(&other);
    c.AddDependentPtr(&other);
    EXPECT_EQ(c.GetDependents().size(), 2u);
    c.ClearDependentsList();
    EXPECT_TRUE(c.GetDependents().empty());

    KCParamRegistrationData reg(4);
    EXPECT_FALSE(reg.HasImageWin());
    reg.SetImageRect(KURect<short>(0, 0, 5, 5));
    EXPECT_TRUE(reg.HasImageWin());

    KCSelectionTextWin text;
    text.SetSelectedText(0, 4);
    EXPECT_FALSE(text.IsSelection());
    text.SetSelectedText(2, 4);
    EXPECT_TRUE(text.IsSelection());

    // A long text that differs only after its 256th character is shown.
    KCStaticText label;
    std::string a(300, 'x'), b = a;
    b[290] = 'y';
    EXPECT_TRUE(label.SetText(a));
    EXPECT_FALSE(label.SetText(a));
    EXPECT_TRUE(label.SetText(b));
    EXPECT_EQ(label.GetText(), b);
}

TEST(ControlMembers, GraphCopiesOwnTheirPrimitives) {
    KCGraph graph;
    graph.SetDrawableRect(KURect<short>(0, 0, 100, 200));
    auto strip = std::make_unique<KCDrawGraph_LineStrip>();
    strip->SetLineColor(KCRGBAColor(1, 2, 3, 255));
    graph.AddPrimitive(std::move(strip));
    EXPECT_EQ(graph.GetPrimitives()[0]->GetDrawableRect(), graph.GetDrawableRect());
    KCGraph copy(graph);
    ASSERT_EQ(copy.GetPrimitives().size(), 1u);
    EXPECT_NE(copy.GetPrimitives()[0].get(), graph.GetPrimitives()[0].get());
}

TEST_F(ControlFixture, ThumbTextZoomAndMarkerHomeMembers) {
    // The slider's thumb follows the state, with the size asked for.
    CSlider_X slider;
    slider.SetAlgorithm(&alg);
    slider.RegisterParam(1); // three states: 0, 1, 2
    slider.SetDrawableRect(KURect<short>(0, 0, 10, 110));
    KURect<short> thumb(0, 0, 10, 10);
    slider.SetThumbRect(thumb);
    EXPECT_EQ(thumb, KURect<short>(0, 50, 10, 60)); // the middle state
    EXPECT_EQ(slider.GetThumbRect(), thumb);

    // A text takes every font field it is given.
    KCStaticText text;
    KCFontInfo font;
    font.SetFontName("DejaVu Sans");
    font.SetFontSize(13);
    font.SetFontStyle(eFontStyleBold);
    font.SetFontAscent(9);
    text.SetFontInfo(font);
    EXPECT_EQ(text.GetFontInfo(), font);
    EXPECT_EQ(text.GetFontInfo().GetFontAscent(), 9);
    EXPECT_TRUE(text.NeedsLayout());

    // The zoom stays inside the whole range and keeps a hundredth of it.
    KCZoomVerticesGraph graph;
    graph.SetZoom(0.25, 0.75);
    EXPECT_EQ(graph.GetZoom().bottom, 0.25);
    EXPECT_EQ(graph.GetZoom().top, 0.75);
    graph.SetZoom(0.5, 0.5001);
    EXPECT_EQ(graph.GetZoom().top, 0.75);
    graph.SetZoom(-1, 2);
    EXPECT_EQ(graph.GetZoom().bottom, 0.0);
    EXPECT_EQ(graph.GetZoom().top, 1.0);
    EXPECT_FALSE(graph.DoYouIntersect(KURect<short>(0, 0, 100, 100)));

    // A marker home numbers its markers and keeps its master.
    KCMarkerHome home;
    CMarker_X a, b;
    home.AddMarker(&a);
    home.AddMarker(&b);
    EXPECT_EQ(b.GetIndex(), 1);
    EXPECT_EQ(b.GetMarkerHome(), &home);
    EXPECT_EQ(home.GetMasterMarker(), -1);
    bool handled = false;
    home.UpdateMarkersKey(&a, eKeyTab, handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(home.GetMasterMarker(), 0);
}

TEST(ControlMembers, TabDirectionAndTheAlgorithmsPresetFilter) {
    struct Case {
        KEKeyCode key;
        bool shift;
        int direction;
    };
    for (const Case& c : {Case{eKeyTab, false, 1}, Case{eKeyTab, true, -1},
                          Case{eKeyReturn, false, 0}, Case{eKeyReturn, true, 0}}) {
        KCEventData e;
        e.SetKeyCode(c.key);
        e.SetKeyModifier(eModifierShift, c.shift);
        EXPECT_EQ(CSelectableHome::DirectionFromTabModifiers(&e), c.direction);
    }
    EXPECT_EQ(CSelectableHome::DirectionFromTabModifiers(nullptr), 0);

    cALGORITHM alg(nullptr, nullptr);
    std::string name = "any";
    EXPECT_EQ(alg.QueryPresetFilter(eQueryPresetFilterSave, &name, nullptr, 0),
              eReplyFromPresetFilterAccept);

    CStandardGUI_X editor(&alg);
    EXPECT_FALSE(editor.GetAboutImage()->IsValid());
    ASSERT_EQ(editor.ReadLayout(testxml::Parse(R"(<GUI Width="100" Height="50" About="1000"/>)")),
              0);
    EXPECT_EQ(editor.GetAboutImage()->GetResID(), 1000);
    EXPECT_EQ(editor.GetPluginResourceRef(), nullptr);
}

} // namespace

namespace {

// Counts what reaches the protected hooks of the base's public operations.
struct HookProbe : CToggle_X {
    // The buffers a hook returns are what its public operation returns.
    BUFFER_HEADER* MouseOverSelf(KCEventData*, bool inside) override {
        overs += inside ? 1 : 0;
        return &sent;
    }
    BUFFER_HEADER sent{};
    void FinishCreateSelf() override { ++finished; }
    using cControl_X::DoYouIntersectSelf;
    int overs = 0;
    int finished = 0;
};

} // namespace

// The automation slots map 0..1 onto the lead parameter's states; a
// disabled control takes no gestures and no controller values until it is
// enabled again; hover, bounds and intersection follow the rectangle.
TEST_F(ControlFixture, AutomationDisablingHoverAndBounds) {
    HookProbe toggle;
    toggle.SetAlgorithm(&alg);
    toggle.RegisterParam(1); // three states
    toggle.SetDrawableRect(KURect<short>(10, 10, 30, 50));

    ControllerAutomationInfoVer6 info;
    ASSERT_TRUE(toggle.GetControlAutomationInfo(&info));
    EXPECT_EQ(info.paramIndex, 1u);
    EXPECT_EQ(info.states, 3.0);
    const struct { double value, state; } values[] = {{0, 0}, {0.5, 1}, {1, 2}, {-3, 0}, {7, 2}};
    for (const auto& v : values) {
        toggle.SetControllerValueSelf(v.value);
        EXPECT_DOUBLE_EQ(toggle.LeadState(), v.state) << v.value;
    }
    std::string shown, translated;
    ASSERT_TRUE(toggle.GetValueWinText(&shown));
    toggle.TranslateController(1, translated);
    EXPECT_EQ(translated, shown);
    EXPECT_EQ(toggle.WhichParamIndexCanEnterText(), 1u);

    toggle.SetDisabled();
    EXPECT_TRUE(toggle.IsDisabled());
    KCEventData e;
    bool handled = true;
    toggle.MouseDown(&e, nullptr, handled);
    toggle.SetControllerValueSelf(0);
    EXPECT_FALSE(handled);
    EXPECT_DOUBLE_EQ(toggle.LeadState(), 2);
    toggle.ClearDisabled();
    toggle.MouseDown(&e, nullptr, handled);
    EXPECT_TRUE(handled);
    EXPECT_DOUBLE_EQ(toggle.LeadState(), 0); // wrapped past the last state

    bool redraw = false;
    EXPECT_EQ(toggle.MouseOver(&e, true, &redraw), &toggle.sent);
    EXPECT_TRUE(redraw);
    toggle.MouseOver(&e, true, &redraw);
    EXPECT_FALSE(redraw);
    EXPECT_EQ(toggle.overs, 2);

    toggle.Resize(10, 0);
    EXPECT_EQ(toggle.GetBounds(), KURect<short>(10, 10, 30, 60));
    EXPECT_TRUE(toggle.IsPointInside(KCPoint<short>(59, 10)));
    EXPECT_FALSE(toggle.IsPointInside(KCPoint<short>(60, 10)));
    EXPECT_TRUE(toggle.DoYouIntersectSelf(KURect<short>(0, 55, 12, 70), nullptr));
    EXPECT_FALSE(toggle.DoYouIntersectSelf(KURect<short>(40, 0, 50, 70), nullptr));
    toggle.Resize(0, -100);
    EXPECT_EQ(toggle.GetBounds(), KURect<short>(10, 10, 10, 60)); // never below empty

    CToggle_X without;
    EXPECT_FALSE(without.GetControlAutomationInfo(&info));
    EXPECT_FALSE(without.GetValueWinText(&shown));
}
