// Lines: random intersections lie on both lines, closest approaches are
// perpendicular to both directions, fits recover exact lines, and the
// parallel, degenerate and clipping cases.
#include <cmath>

#include "mth/mth_test_util.h"
#include "support/fixture.h"

namespace {

using mthtest::Near;

class MthLine : public mvxtest::LibraryTest {};

TEST_F(MthLine, RandomIntersectionsLieOnBothLines) {
    mthtest::Random random;
    for (int round = 0; round < 200; ++round) {
        double p1[3], d1[3], p2[3], d2[3];
        for (double* v : {p1, d1, p2, d2})
            random.Fill(v, 3);
        if (round % 4 == 0) d1[0] = 0; // a vertical first line in 2D
        double t1, t2, s1, s2, pt[3], q1[3], q2[3], w[3], dist;
        ASSERT_EQ(mth_Intersect2DLines(3, 1e-9, p1, d1, p2, d2, &t1, &t2, pt), 0);
        for (int i = 0; i < 2; ++i)
            q1[i] = p1[i] + t1 * d1[i], q2[i] = p2[i] + t2 * d2[i];
        EXPECT_TRUE(Near(q1, q2, 2, 1e-9));
        EXPECT_TRUE(Near(pt, q2, 2, 0));
        // 3D closest approach: the connecting vector is perpendicular to both.
        ASSERT_EQ(mth_Intersect3DLines(3, 1e-12, p1, d1, p2, d2, &s1, &s2, pt), 0);
        ASSERT_EQ(mth_DistanceBetween3DLines(0, 1e-12, p1, d1, p2, d2, &t1, &t2, &dist), 0);
        EXPECT_TRUE(t1 == s1 && t2 == s2);
        for (int i = 0; i < 3; ++i)
            q1[i] = p1[i] + s1 * d1[i], q2[i] = p2[i] + s2 * d2[i];
        mth_MakeVector(3, q1, q2, w);
        EXPECT_NEAR(mth_DotVector(3, w, d1), 0, 1e-9);
        EXPECT_NEAR(mth_DotVector(3, w, d2), 0, 1e-9);
        EXPECT_NEAR(mth_GetVectorMag(3, w), dist, 1e-9);
        // Projection: the foot is on the line and q - foot is perpendicular.
        double foot[3], t;
        ASSERT_EQ(mth_PointToLine(2, p1, d1, p2, foot, &t), 0);
        mth_MakeVector(3, foot, p2, w);
        EXPECT_NEAR(mth_DotVector(3, w, d1), 0, 1e-12);
        EXPECT_NEAR(mth_PointToLineDistProjParm(2, 3, p2, p1, d1, q1, &s1), mth_GetVectorMag(3, w),
                    1e-12);
        EXPECT_NEAR(s1, t, 1e-12);
    }
}

TEST_F(MthLine, ParallelAndDegenerateLines) {
    const double p1[3] = {0, 0, 0}, d[3] = {1, 1, 0}, p2[3] = {0, 1, 0}, z[3] = {0, 0, 0};
    double t1 = 5, t2 = 5, pt[3] = {5, 5, 5}, dist = 0;
    EXPECT_EQ(mth_Intersect2DLines(3, 1e-9, p1, d, p2, d, &t1, &t2, pt),
              (int32_t)MTH_PARALLELLINES);
    EXPECT_EQ(mth_Intersect3DLines(7, 1e-9, p1, d, p2, d, &t1, &t2, pt),
              (int32_t)MTH_PARALLELLINES);
    const double nan[3] = {NAN, 0, 0};
    EXPECT_EQ(mth_Intersect2DLines(3, 1e-9, nan, d, p2, nan, &t1, &t2, pt),
              (int32_t)MTH_PARALLELLINES);
    EXPECT_TRUE(t1 == 5 && t2 == 5 && pt[0] == 5);
    EXPECT_EQ(mth_DistanceBetween3DLines(0, 1e-9, p1, d, p2, d, &t1, &t2, &dist),
              (int32_t)MTH_PARALLELLINES);
    EXPECT_TRUE(t1 == 0 && t2 == -0.5);
    EXPECT_DOUBLE_EQ(dist, std::sqrt(0.5));
    double foot[3], t = 9;
    EXPECT_EQ(mth_PointToLine(0, p2, p2, p1, foot, &t), (int32_t)MTH_DEGENERATE_LINE);
    EXPECT_TRUE(t == 0 && foot[1] == 1);
    EXPECT_EQ(mth_PointToLine2D(2, p2, z, p1, foot, &t), 0);
    EXPECT_EQ(mth_PointToLineDistProjParm(2, 3, p1, p2, z, foot, &t), 1.0);
    EXPECT_EQ(mth_OffsetPointAlongAxis(0, p1, 1, z, foot), (int32_t)MTH_SHORT_VECTOR);
    EXPECT_EQ(mth_OffsetPointAlongAxis(0, p1, 2, d, foot), 0);
    EXPECT_DOUBLE_EQ(foot[0], std::sqrt(2.0));
    EXPECT_EQ(mpm__LastError, 0); // all quiet
    // Snapping: a parameter within 1e-13 of 1 becomes 1 with option 0 only.
    const double b[3] = {1, 0, 0}, q[3] = {1 + 1e-14, 3, 0};
    mth_PointToLine(0, p1, b, q, foot, &t);
    EXPECT_EQ(t, 1.0);
    EXPECT_EQ(mth_Get3DPointLineProj(p1, b, q, foot, &dist), 0);
    EXPECT_EQ(dist, 3.0);
    double radius;
    mth_GetVectorRadPoint(p1, b, q, &radius, foot);
    EXPECT_TRUE(radius == 3.0 && foot[1] == 0);
}

TEST_F(MthLine, FitsAndPointSets) {
    // Points on y = 2x + 1 (stride 3), and on a steep line x = 5.
    const double pts[12] = {0, 1, 9, 1, 3, 9, 2, 5, 9, 3, 7, 9};
    double s[2], e[2];
    ASSERT_EQ(mth_LeastSquaresLine2D(0, pts, 4, 3, 1e-9, s, e), 0);
    EXPECT_TRUE(Near(s, std::vector<double>{0, 1}.data(), 2, 1e-12));
    EXPECT_TRUE(Near(e, std::vector<double>{3, 7}.data(), 2, 1e-12));
    const double steep[6] = {5, 0, 5, 2, 5, 1};
    ASSERT_EQ(mth_LeastSquaresLine2D(2, steep, 3, 2, 1e-9, s, e), 0);
    EXPECT_TRUE(s[0] == 5 && s[1] == 0 && e[0] == 0 && e[1] == 2);
    EXPECT_EQ(mth_LeastSquaresLine2D(0, steep, 1, 2, 1e-9, s, e), 1);
    EXPECT_EQ(mth_LeastSquaresLine2D(0, steep, 3, 0, 1e-9, s, e), 1); // bad stride
    const double same[6] = {1, 1, 1, 1, 1, 1};
    EXPECT_EQ(mth_LeastSquaresLine2D(0, same, 3, 2, 1e-9, s, e), 1);
    EXPECT_EQ(mth_LeastSquaresLine2D(0, same, 2, 2, 1e-9, s, e), 1);
    int32_t first = -1, last = -1;
    EXPECT_EQ(mth_PointsDefineLine(pts, 4, 3, 1.0, 1e-9, &first, &last), 1);
    EXPECT_TRUE(first == 0 && last == 3);
    EXPECT_EQ(mth_PointsDefineLine(pts, 4, 3, 100.0, 1e-9, &first, &last), 0);
    const double bent[6] = {0, 0, 1, 0.1, 2, 0};
    EXPECT_EQ(mth_PointsDefineLine(bent, 3, 2, 0.5, 0.05, &first, &last), 0);
    EXPECT_EQ(mth_PointsDefineLine(bent, 3, 2, 0.5, 0.2, &first, &last), 1);
    EXPECT_EQ(mth_PointsCollinear(pts, 4, 3, 0, 1e-12), 1);
    EXPECT_EQ(mth_PointsCollinear(bent, 3, 2, 0, 1e-3), 0);
    EXPECT_EQ(mth_PointsCollinear(bent, 2, 2, 0, 0), 1);
}

TEST_F(MthLine, BoundsSidesAndClipping) {
    const double bounds[4] = {0, 10, 0, 5};
    int32_t side, dir, partial;
    const double left_down[6] = {0, 5, 0, 0, 0, 0};
    mth_PointsOnBounds(left_down, bounds, 1e-9, &side, &dir, &partial);
    EXPECT_TRUE(side == 1 && dir == 2 && partial == 0);
    const double top_part[6] = {2, 5, 0, 4, 5, 0};
    mth_PointsOnBounds(top_part, bounds, 1e-9, &side, &dir, &partial);
    EXPECT_TRUE(side == 2 && dir == 1 && partial == 1);
    const double inside[6] = {2, 2, 0, 3, 3, 0};
    mth_PointsOnBounds(inside, bounds, 1e-9, &side, &dir, &partial);
    EXPECT_TRUE(side == 0 && dir == 0 && partial == 1);
    double a[2] = {-5, 0}, b[2] = {5, 4}, far1[2] = {-2, 1}, far2[2] = {-1, 3};
    mth__2DLineTrimBounds(0, a, b, bounds);
    EXPECT_TRUE(Near(a, std::vector<double>{0, 2}.data(), 2, 1e-12));
    EXPECT_TRUE(b[0] == 5 && b[1] == 4);
    mth__2DLineTrimBounds(0, far1, far2, bounds); // wholly beyond min x: left alone
    EXPECT_TRUE(far1[0] == -2 && far2[0] == -1 && far2[1] == 3);
    double c[2] = {-1, 2}, d[2] = {20, 2};
    mth__2DLineTrimBounds(0, c, d, bounds);
    EXPECT_TRUE(c[0] == 0 && c[1] == 2 && d[0] == 10 && d[1] == 2);
    double p[2] = {-3, 7};
    mth_PointForceInBounds2D(0, p, bounds);
    EXPECT_TRUE(p[0] == 0 && p[1] == 5);
}

} // namespace
