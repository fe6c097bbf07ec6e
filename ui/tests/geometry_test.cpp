#include <gtest/gtest.h>

#include "foundation/KURect.h"

using R = KURect<short>;
using P = KCPoint<short>;

TEST(Geometry, Intersection) {
    struct Case {
        R a, b;
        bool hit;
        R out;
    } cases[] = {
        {R(0, 0, 10, 10), R(5, 5, 15, 15), true, R(5, 5, 10, 10)},
        {R(0, 0, 10, 10), R(0, 10, 10, 20), false, R()}, // touching edges
        {R(0, 5, 10, 5), R(0, 5, 10, 5), false, R()},    // empty: not even itself
        {R(0, 0, 10, 10), R(2, 3, 4, 5), true, R(2, 3, 4, 5)},
    };
    for (const Case& c : cases) {
        R out(9, 9, 9, 9);
        EXPECT_EQ(c.a.GetIntersection(c.b, out), c.hit);
        EXPECT_EQ(out, c.out);
    }
}

TEST(Geometry, RectOperations) {
    R r(0, 0, 10, 10);
    EXPECT_TRUE(r.PointInRect(P(0, 0)));
    EXPECT_TRUE(r.PointInRect(P(9, 9)));
    EXPECT_FALSE(r.PointInRect(P(10, 5)));
    EXPECT_FALSE(r.PointInRect(P(5, 10)));

    EXPECT_EQ(R(5, 7, 15, 27).MoveToOrigin(), R(0, 0, 10, 20));
    EXPECT_EQ(R(0, 0, 10, 10).Offset(3, -2), R(-2, 3, 8, 13));
    EXPECT_EQ(R(0, 0, 10, 10).Offset(P(3, -2)), R(-2, 3, 8, 13));
    // 16-bit arithmetic wraps.
    EXPECT_EQ(R(0, 32767, 0, 32767).Offset(1, 0).left, -32768);
    R z(1, 2, 3, 4);
    z.Reset();
    EXPECT_EQ(z, R());
}

TEST(Geometry, PointOperations) {
    EXPECT_EQ(P(5, 5).GetDifference(P(2, 9), false), P(3, -4));
    EXPECT_EQ(P(5, 5).GetDifference(P(2, 9), true), P(3, 4));
    P p(3, -4);
    EXPECT_EQ(p.Reverse(), P(-3, 4));
    p += P(1, 1);
    EXPECT_EQ(p, P(-2, 5));
    EXPECT_EQ(p - P(1, 1), P(-3, 4));
    KCPoint<float> f;
    f.Set(1.5f, -2.5f);
    EXPECT_FLOAT_EQ(f.x, 1.5f);
    EXPECT_FLOAT_EQ(f.y, -2.5f);
}
