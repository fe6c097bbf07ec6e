// The editor's full redraw on a real GLX window (llvmpipe under Xvfb): the
// controls and the system bar land where the layout puts them, read back
// from the back buffer.
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "TestXML.h"
#include "display_harness.h"
#include "guilib/Algorithm.h"
#include "guilib/MenuEx.h"
#include "guilib/StandardGUI.h"
#include "ui/CGraphicManagerAbs.h"
#include "ui/GMRenderer.h"

#include <GL/gl.h>

namespace {

constexpr int kWidth = 300;
constexpr int kHeight = 200;

std::array<uint8_t, 3> Read(int x, int y) {
    std::array<uint8_t, 4> p{};
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, kHeight - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
    return {p[0], p[1], p[2]};
}

using testxml::Parse;

TEST(EditorDisplay, FullRedrawDrawsControlsAtTheirRectangles) {
    REQUIRE_DISPLAY();
    RMInit(0);
    display::Log log;
    KCWindow window;
    ASSERT_EQ(
        KMCreateWindow(display::Options(log, KURect<short>(100, 100, 100 + kHeight, 100 + kWidth)),
                       window),
        eNoErr);
    ASSERT_EQ(GMCreateRC(window), eNoErr);
    GMBind2RC(window);
    {
        cALGORITHM alg(nullptr, nullptr);
        ASSERT_EQ(alg.FinishCreate(), 0);
        ASSERT_EQ(ReadParameterList(Parse(R"(<Parameter_List>
 <Parameter Name="BAL"><Scale><Minimum>0</Minimum><Maximum>240</Maximum><Resolution>1</Resolution>
  <ScaleType>linear</ScaleType></Scale><InitialValue Type="RealWorld">240</InitialValue></Parameter>
 <Parameter Name="LED"><Scale><Minimum>0</Minimum><Maximum>1</Maximum><Resolution>2</Resolution>
  <ScaleType>toggle</ScaleType></Scale><InitialValue Type="state">1</InitialValue></Parameter>
 <Parameter Name="IN"><Scale><Minimum>0</Minimum><Maximum>4</Maximum><Resolution>5</Resolution>
  <ScaleType>toggle</ScaleType></Scale><InitialValue Type="state">0</InitialValue></Parameter>
</Parameter_List>)"),
                                    *alg.GetParamVector()),
                  0);
        CStandardGUI_X editor(&alg);
        ASSERT_EQ(editor.ReadLayout(Parse(R"(<GUI Width="300" Height="200">
 <Control Class="Slider" Params="0" Rect="100, 50, 120, 150"/>
 <Control Class="Toggle" Params="1" Rect="150, 20, 170, 40"/>
 <Control Class="Popup" Params="2" Rect="150, 200, 168, 260"/>
 <ToolBar><Button Name="Undo" Rect="0,0,20,40"/></ToolBar>
</GUI>)")),
                  0);
        CGraphicManagerAbs gm(nullptr);
        gm.InitHatch(window, KURect<short>(0, 0, kHeight, kWidth));
        editor.SetGM(&gm);
        editor.DoIdle();
        glFinish();
        EXPECT_EQ(Read(5, 60), (std::array<uint8_t, 3>{24, 24, 28}));       // background
        EXPECT_EQ(Read(147, 110), (std::array<uint8_t, 3>{220, 220, 225})); // thumb at the end
        EXPECT_EQ(Read(60, 110), (std::array<uint8_t, 3>{60, 60, 66}));     // track
        EXPECT_EQ(Read(30, 160), (std::array<uint8_t, 3>{90, 200, 110}));   // toggle on
        EXPECT_EQ(Read(35, 2), (std::array<uint8_t, 3>{70, 70, 78}));       // tool-bar button

        // A text is placed by its justification inside its rectangle.
        KCStaticText text;
        text.SetDrawableRect(KURect<short>(170, 100, 190, 200));
        text.SetText("Gain");
        for (ETextJustification j :
             {eTextJustificationLeft, eTextJustificationCenter, eTextJustificationRight}) {
            text.SetJustification(j);
            text.Draw(gm);
            EXPECT_FALSE(text.NeedsLayout());
            const KURect<short>& r = text.GetTextRect();
            EXPECT_GT(r.Width(), 10);
            EXPECT_TRUE(r.top >= 170 && r.bottom <= 190);
            if (j == eTextJustificationLeft)
                EXPECT_EQ(r.left, 100);
            else if (j == eTextJustificationRight)
                EXPECT_EQ(r.right, 200);
            else
                EXPECT_NEAR(r.left - 100, 200 - r.right, 1);
        }

        // A menu control opens its menu over the window: its own items
        // when it has them (disabled ones shown so), else one per state.
        std::vector<KCMenuEx::Item> shown;
        long answer = 3;
        KCMenuEx::SetChooser([&](const KCMenuEx& menu) {
            shown = menu.GetItems();
            return answer;
        });
        editor.ActivateWindow(&window);
        KCEventData click;
        click.SetMouseDownLocation({230, 160});
        click.SetMouselocation({230, 160});
        auto clickPopup = [&] {
            editor.DoMouseDown(&click);
            editor.DoMouseUp(&click);
        };
        clickPopup();
        ASSERT_EQ(shown.size(), 5u);
        EXPECT_TRUE(shown[0].checked);
        EXPECT_EQ(alg.GetParamState(2), 3.0);
        auto* popup = dynamic_cast<CPopup_X*>(editor.FindControlForParam(2));
        ASSERT_NE(popup, nullptr);
        popup->ClearPopupItems();
        for (short i = 0; i < 5; ++i)
            popup->AppendPopupItem(std::to_string(i + 1), i, i >= 3);
        answer = -1; // dismissed: nothing changes
        clickPopup();
        ASSERT_EQ(shown.size(), 5u);
        EXPECT_EQ(shown[1].title, "2");
        EXPECT_TRUE(shown[3].checked && shown[3].disabled && shown[4].disabled);
        EXPECT_FALSE(shown[2].disabled);
        EXPECT_EQ(alg.GetParamState(2), 3.0);
        EXPECT_EQ(editor.GetUndoManagerRef()->GetUndoStackSize(), 1u); // one step per gesture
        KCMenuEx::SetChooser(nullptr);
        editor.SetGM(nullptr);
        editor.DeactivateWindow();
        gm.SetEmbededGraphicManager(true);
    }
    GMDisposeRC(window);
    KMDisposeWindow(window);
    display::Pump(20);
    RMDispose();
}

} // namespace
