#include <gtest/gtest.h>

#include "ui/KCRegion.h"

using R = KURect<short>;
using P = KCPoint<short>;

namespace {
R Bounds(const KCRegion& r) {
    R b(9, 9, 9, 9);
    r.GetBounds(b);
    return b;
}
} // namespace

TEST(Region, EmptyAndRectangles) {
    KCRegion empty;
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_EQ(Bounds(empty), R());
    EXPECT_NE(empty.GetHandle(), nullptr);

    KCRegion r(R(0, 0, 10, 10));
    EXPECT_FALSE(r.IsEmpty());
    EXPECT_TRUE(r == R(0, 0, 10, 10));
    EXPECT_TRUE(r == KCRegion(0, 0, 10, 10)); // left, top, right, bottom
    EXPECT_TRUE(r != R(0, 0, 10, 11));

    r += R(5, 5, 15, 15);
    EXPECT_EQ(Bounds(r), R(0, 0, 15, 15));
    EXPECT_FALSE(r == R(0, 0, 15, 15)); // an L-shape, not the box
    EXPECT_TRUE(r.PointInRegion(P(12, 12)));
    EXPECT_FALSE(r.PointInRegion(P(12, 2)));
    EXPECT_FALSE(r.PointInRegion(P(15, 15)));

    KCRegion l(r);
    r -= R(0, 0, 15, 15);
    EXPECT_TRUE(r.IsEmpty());
    EXPECT_EQ(Bounds(r), R());

    l -= KCRegion(R(0, 0, 10, 10));
    EXPECT_EQ(Bounds(l), R(5, 5, 15, 15));
    l += KCRegion(R(0, 0, 5, 5));
    EXPECT_EQ(Bounds(l), R(0, 0, 15, 15));

    r = R(1, 2, 3, 4);
    EXPECT_EQ(Bounds(r), R(1, 2, 3, 4));
    r.Clear();
    EXPECT_TRUE(r.IsEmpty());
    EXPECT_TRUE(r == KCRegion());
}

TEST(Region, Polygons) {
    const P one[] = {P(3, 3)};
    KCRegion none(one, 1);
    EXPECT_EQ(none.GetHandle(), nullptr);
    EXPECT_TRUE(none.IsEmpty());
    EXPECT_FALSE(none == KCRegion());
    EXPECT_TRUE(none != R());
    none += R(0, 0, 5, 5); // operations on no region do nothing
    none.OffsetBy(P(1, 1));
    EXPECT_TRUE(none.IsEmpty());
    EXPECT_FALSE(none.IsIntersecting(R(0, 0, 5, 5)));

    const P tri[] = {P(0, 0), P(10, 0), P(0, 10)};
    KCRegion t(tri, 3);
    EXPECT_FALSE(t.IsEmpty());
    const R b = Bounds(t);
    EXPECT_GE(b.top, 0);
    EXPECT_GE(b.left, 0);
    EXPECT_LE(b.bottom, 10);
    EXPECT_LE(b.right, 10);
    EXPECT_TRUE(t.PointInRegion(P(1, 1)));
    EXPECT_FALSE(t.PointInRegion(P(9, 9)));
}

TEST(Region, OffsetScaleAndIntersection) {
    KCRegion r(R(0, 0, 10, 10));
    r.Scale(10, 0);
    EXPECT_EQ(Bounds(r), R(0, 0, 10, 20));

    // Scaling is about the origin, not the box's corner.
    KCRegion off(R(0, 10, 10, 20));
    off.Scale(10, 0);
    EXPECT_EQ(Bounds(off), R(0, 20, 10, 40));

    KCRegion flat(R(0, 0, 0, 10)); // empty: unchanged
    flat.Scale(5, 5);
    EXPECT_TRUE(flat.IsEmpty());

    r.OffsetBy(P(5, -2));
    EXPECT_EQ(Bounds(r), R(-2, 5, 8, 25));

    KCRegion box(R(0, 0, 10, 10));
    EXPECT_TRUE(box.IsIntersecting(R(5, 5, 20, 20)));
    EXPECT_FALSE(box.IsIntersecting(R(0, 10, 10, 20))); // touches the right edge
    EXPECT_FALSE(box.IsIntersecting(R(20, 20, 30, 30)));
}

TEST(Region, AssignmentKeepsOneHandle) {
    KCRegion source(R(1, 1, 4, 4));
    KCRegion target;
    for (int i = 0; i < 100; ++i)
        target = source;
    EXPECT_TRUE(target == source);
    EXPECT_NE(target.GetHandle(), source.GetHandle());
    target += R(10, 10, 20, 20);
    EXPECT_FALSE(target == source); // independent copies
    target = target;
    EXPECT_EQ(Bounds(target), R(1, 1, 20, 20));

    const P one[] = {P(0, 0)};
    KCRegion none(one, 1);
    target = none; // a source without a region leaves the target as it was
    EXPECT_EQ(Bounds(target), R(1, 1, 20, 20));
}
