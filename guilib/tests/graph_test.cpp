// Graph primitives: the draw rule, defaults, sizes and copies.
#include "guilib/GraphData.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

struct CountingPrimitive : KCGraphData {
    void DrawSelf() override { ++draws; }
    int draws = 0;
};

TEST(GraphData, HiddenPrimitivesDrawNothing) {
    CountingPrimitive p;
    p.Draw();
    EXPECT_EQ(p.draws, 1);
    p.SetVisible(false);
    EXPECT_TRUE(p.IsHidden());
    p.Draw();
    EXPECT_EQ(p.draws, 1);
    p.SetVisible(true);
    p.Draw();
    EXPECT_EQ(p.draws, 2);
}

TEST(GraphData, DefaultsAndSizes) {
    KCDrawGraph_ColorRect rect;
    EXPECT_EQ(rect.GetFillColor(), KCRGBAColor(0, 0, 0, 255));
    // Without a graphic manager drawing is a no-op, never a crash.
    rect.Draw();

    KCDrawGraph_GradientPipe pipe;
    pipe.Lower() = {1, 2, 3};
    pipe.Upper() = {1, 2, 3, 4, 5};
    EXPECT_EQ(pipe.size(), 3u);

    KCDrawGraph_LineSeries series;
    EXPECT_TRUE(series.Lines().empty());
    series.Lines().resize(2);
    series.GetLine(1).from = KCPoint<float>(3, 4);
    EXPECT_EQ(series.Lines()[1].from, KCPoint<float>(3, 4));
    KCDrawGraph_Polygon polygon;
    polygon.Points().resize(1);
    polygon.GetPoint(0).x = 7;
    EXPECT_EQ(polygon.Points()[0].x, 7);
}

TEST(GraphData, ClonesAreIndependentCopiesOfTheirOwnClass) {
    KCDrawGraph_LineStrip strip;
    strip.SetDrawClass("DrawLineStrip");
    strip.GetData().assign(128, 0.5f);
    strip.SetLineColor(KCRGBAColor(10, 20, 30, 255));
    strip.SetThickness(2.0f);
    strip.SetDrawableRect(KURect<short>(1, 2, 30, 40));
    std::unique_ptr<KCDrawGraph_LineStrip> clone(strip.Clone());
    ASSERT_TRUE(clone);
    EXPECT_EQ(clone->GetDrawClass(), "DrawLineStrip");
    EXPECT_EQ(clone->GetData(), strip.GetData());
    EXPECT_EQ(clone->GetThickness(), 2.0f);
    EXPECT_EQ(clone->GetDrawableRect(), strip.GetDrawableRect());
    clone->SetLineColor(KCRGBAColor(1, 1, 1, 1));
    EXPECT_EQ(strip.GetLineColor(), KCRGBAColor(10, 20, 30, 255));

    // Cloning through the base keeps the derived class.
    KCDrawGraph_SurroundScope scope;
    const KCGraphData& base = scope;
    std::unique_ptr<KCGraphData> copy(base.Clone());
    EXPECT_NE(dynamic_cast<KCDrawGraph_SurroundScope*>(copy.get()), nullptr);
}

} // namespace
