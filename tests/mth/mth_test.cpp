// The geometry mathematics: randomized runs against naive loops and
// geometric properties, then the quiet statuses, comparison rules and the
// singular, degenerate, hostile (NaN, huge) and allocation-failure cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "common/common_alloc.h"
#include "support/fixture.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Seeded random inputs.
struct Random {
    std::mt19937_64 engine{20261206};
    double Uniform(double lo = -1.0, double hi = 1.0) {
        return std::uniform_real_distribution<double>(lo, hi)(engine);
    }
    std::vector<double> Vector(std::size_t n, double lo = -1.0, double hi = 1.0) {
        std::vector<double> v(n);
        for (double& x : v)
            x = Uniform(lo, hi);
        return v;
    }
    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(engine); }
};

// Compares whole arrays within a tolerance.
::testing::AssertionResult Near(const double* a, const double* b, std::size_t n, double tolerance) {
    for (std::size_t i = 0; i < n; ++i)
        if (!(std::fabs(a[i] - b[i]) <= tolerance))
            return ::testing::AssertionFailure()
                   << "element " << i << ": " << a[i] << " vs " << b[i];
    return ::testing::AssertionSuccess();
}

class Mth : public mvxtest::LibraryTest {};

TEST_F(Mth, QuietStatusesComparisonsAndBoxes) {
    double out[3];
    const double near_axis[3] = {0, 1e-14, -3}; // snapped onto the axis
    EXPECT_EQ(mth_UnitizeVector(3, near_axis, out), 0);
    EXPECT_TRUE(out[0] == 0 && out[1] == 0 && out[2] == -1);
    for (const double bad : {0.0, 1e-14, double(NAN)}) {
        const double in[3] = {bad, 0, 0};
        EXPECT_EQ(mth_UnitizeVector(3, in, out), (int32_t)MTH_SHORT_VECTOR);
        EXPECT_EQ(std::memcmp(in, out, sizeof in), 0); // copied as it is
        EXPECT_EQ(mth_DivideVector(3, near_axis, bad, out), (int32_t)MTH_SMALL_DIVISOR);
        EXPECT_EQ(std::memcmp(in, out, sizeof in), 0); // left alone
    }
    EXPECT_EQ(mpm__LastError, 0); // nothing recorded
    // The comparison rules.
    const double a[2] = {1, 2}, b[2] = {1, 3}, c[2] = {1 + 5e-14, 2}, n[2] = {1, NAN};
    const double big1[2] = {100, 0}, big2[2] = {100, 1}, t1[2] = {1e-3, 0}, t2[2] = {0, 1e-3};
    const double z[2] = {0, 0}, neg[2] = {-2, -4}, s[2] = {2, 0}, u[2] = {0, 2};
    const double p[3] = {0, 0, 0}, q[3] = {1, 1, 1}, r[3] = {2, 2, 2.001}, back[3] = {-1, -1, -1};
    EXPECT_EQ(mth_CompareDouble(2, a, c), 0xFFFFFFFFu); // within 1e-13
    EXPECT_EQ(mth_CompareDouble(2, a, b), 1u);          // the first index apart
    EXPECT_EQ(mth_CompareDouble(2, n, n), 1u);          // NaN never compares equal
    EXPECT_EQ(mth_CheckCoinPoint(2, a, c), 1);
    EXPECT_EQ(mth_CheckCoinPoint(2, a, b), 0);
    EXPECT_EQ(mth_CheckCoinPointsTol(0, 1.0, 2, a, b), 1);
    EXPECT_EQ(mth_CheckCoinPointsTol(0, 0.5, 2, a, b), 0);
    EXPECT_EQ(mth_CompareLocation(2, a, b, 0.999), 0);
    EXPECT_EQ(mth_CompareVector(2, big1, big2, 0.02), 1); // relative: 1% apart
    EXPECT_EQ(mth_CompareVector(2, big1, big2, 0.005), 0);
    EXPECT_EQ(mth_CompareVector(2, t1, t2, 0.01), 1); // tiny: any direction
    EXPECT_EQ(mth_CompareVector(2, t1, t2, 1e-6), 0);
    EXPECT_EQ(mth_CheckDirColin(3, 1e-6, p, q, r), 1);
    EXPECT_EQ(mth_CheckDirColin(3, 1e-9, p, q, r), 0);
    EXPECT_EQ(mth_CheckDirColin(3, 1e-6, p, q, back), 0); // turning back
    EXPECT_EQ(mth_CheckDirColin(3, 1e-6, p, p, r), 1);    // zero direction
    EXPECT_EQ(mth_CheckColin(3, 1e-3, p, q, r), 1);
    EXPECT_EQ(mth_CheckColin(3, 1e-5, p, q, r), 0);
    EXPECT_EQ(mth_CheckColin(4, 1e9, p, q, r), 0); // 2 or 3 dimensions only
    EXPECT_EQ(mth_CheckColin(2, 2.0, z, s, u), 1); // area exactly 2
    EXPECT_EQ(mth_CheckColin(2, 1.999, z, s, u), 0);
    // Cosine: 0 with a zero vector, clamped to [-1, 1].
    EXPECT_EQ(mth_CosineTwoVectors(a, z, 2), 0.0);
    EXPECT_DOUBLE_EQ(mth_CosineTwoVectors(a, a, 2), 1.0);
    EXPECT_DOUBLE_EQ(mth_CosineTwoVectors(a, neg, 2), -1.0);
    // Averages and bounding boxes.
    const double pts[6] = {0, 4, 2, NAN, 4, -2}, far[2] = {-10, 1};
    double mean[2], lo[2], hi[2];
    EXPECT_EQ(mth_AveragePoints(0, 2, 2, pts + 2, mean), 0);
    EXPECT_EQ(mean[0], 3);
    EXPECT_EQ(mth_AveragePoints(0, 2, 0, pts, mean), (int32_t)MTH_INVALID_RANGE);
    EXPECT_EQ(mpm__LastError, (int32_t)MTH_INVALID_RANGE);
    mth_FindMinMaxCoord(0, 2, 3, pts, lo, hi);
    EXPECT_TRUE(lo[0] == 0 && hi[0] == 4 && lo[1] == -2 && hi[1] == 4); // NaN passed over
    mth_FindMinMaxCoord(1, 2, 1, far, lo, hi);                          // grows the box
    EXPECT_TRUE(lo[0] == -10 && hi[0] == 4 && lo[1] == -2);
}

TEST_F(Mth, QuadrantsQuarterTurnsAndNormalisationEdges) {
    EXPECT_EQ(mth_GetAtan2(0, 0), 0.0);
    // x, y, the angle (42: left alone) and the flag: 2 for a point at the origin or NaN.
    const double cases[][4] = {{-1, 0, kPi, 1},         {0, -2, 3 * kPi / 2, 1},
                               {1, -1, 7 * kPi / 4, 1}, {-1, -1, 5 * kPi / 4, 1},
                               {2, 2, kPi / 4, 1},      {0, 5, kPi / 2, 1},
                               {1e-14, 0, 42, 2},       {NAN, NAN, 42, 2}};
    for (const auto& c : cases) {
        double angle = 42;
        int32_t flag = 0;
        mth_GetAngle2DPoint(0, c, &angle, &flag);
        EXPECT_TRUE(flag == c[3] && angle == c[2]) << c[0] << "," << c[1] << ": " << angle;
        if (flag == 1) {
            EXPECT_NEAR(angle, mth_GetAtan2(c[1], c[0]), 1e-15);
        }
    }
    // Sine and cosine snap onto quarter turns, so rotations by them are exact.
    double sine, cosine, r[2] = {3, 4}, p[3] = {1, 1, 7};
    mth_GetAngleSinCos(kPi, &sine, &cosine);
    EXPECT_TRUE(sine == 0 && cosine == -1);
    mth_RotateVector2D(kPi / 2, r, r);
    EXPECT_TRUE(r[0] == -4 && r[1] == 3);
    mth_OffsetPoint(p, 3 * kPi / 2, 2, p);
    EXPECT_TRUE(p[0] == 1 && p[1] == -1 && p[2] == 7);
    // Normalisation: an empty range is a full turn; huge and NaN input end at once.
    double s = 0.1, e = 0.1;
    mth_NormalizeAngles(0, &s, &e, 1e-6);
    EXPECT_TRUE(s == 0.1 && e == 0.1 + 2 * kPi);
    s = 1e300, e = NAN;
    mth_NormalizeAngles(0, &s, &e, 1e-9); // no endless turning
    EXPECT_EQ(s, 1e300);
    // Option 1 gives (start, start + period], option 2 [start, start + period).
    double u = 2.0, v = 0.0, w = 2.0;
    mth_NormalizeParameterToRange(1, 0, 2, &u);
    mth_NormalizeParameterToRange(1, 0, 2, &v);
    mth_NormalizeParameterToRange(2, 0, 2, &w);
    EXPECT_TRUE(u == 2.0 && v == 2.0 && w == 0.0);
    EXPECT_EQ(mth_NormalizeParameterToRange(0, 0, 1e-17, &w), (int32_t)MTH_INVALID_RANGE);
    EXPECT_EQ(mth_NormalizeParameterToRange(0, 0, NAN, &w), (int32_t)MTH_INVALID_RANGE);
    EXPECT_EQ(w, 0.0); // left alone
}

TEST_F(Mth, RandomVectorsAndLinesMatchDirectFormulas) {
    Random random;
    for (int round = 0; round < 200; ++round) {
        auto v = random.Vector(12);
        // Arithmetic on the first n coordinates of two vectors.
        const int n = random.Int(1, 6);
        const double *a = &v[0], *b = &v[6];
        double sum[6], diff[6], back[6], scaled[6], dot = 0, squared = 0;
        mth_AddVector(n, a, b, sum);
        mth_MakeVector(n, a, b, diff);
        mth_SubtractVector(n, b, a, back);
        mth_MultiplyVector(n, a, 3.0, scaled);
        for (int i = 0; i < n; ++i) {
            EXPECT_TRUE(sum[i] == a[i] + b[i] && diff[i] == b[i] - a[i] && back[i] == diff[i] &&
                        scaled[i] == 3.0 * a[i]);
            dot += a[i] * b[i], squared += (a[i] - b[i]) * (a[i] - b[i]);
        }
        mth_DivideVector(n, scaled, 3.0, scaled); // in place
        EXPECT_TRUE(Near(scaled, a, n, 1e-15));
        EXPECT_NEAR(mth_DotVector(n, a, b), dot, 1e-15);
        EXPECT_NEAR(mth_GetSquaredDistance(n, a, b), squared, 1e-15);
        EXPECT_NEAR(mth_GetDistance(n, a, b), std::sqrt(squared), 1e-15);
        if (mth_UnitizeVector(n, a, back) == 0) {
            EXPECT_NEAR(mth_GetVectorMag(n, back), 1.0, 1e-15);
        }
        // Angles and periodic parameters brought into their ranges.
        const double s0 = random.Uniform(-1e6, 1e6), e0 = random.Uniform(-1e6, 1e6), tol = 1e-9;
        double s = s0, e = e0;
        mth_NormalizeAngles(0, &s, &e, tol);
        EXPECT_TRUE(s >= -tol && s < 2 * kPi + tol) << s;
        EXPECT_TRUE(e > s - tol && e <= s + 2 * kPi + tol) << s << " " << e;
        EXPECT_NEAR(std::remainder(s - s0, 2 * kPi), 0, 1e-9);
        EXPECT_NEAR(std::remainder(e - e0, 2 * kPi), 0, 1e-9);
        double u = random.Uniform(-1e3, 1e3);
        const double u0 = u, start = random.Uniform(-5, 5), period = random.Uniform(0.5, 3);
        ASSERT_EQ(mth_NormalizeParameterToRange(0, start, period, &u), 0);
        EXPECT_TRUE(u >= start && u < start + period);
        EXPECT_NEAR(std::remainder(u - u0, period), 0, 1e-9);
        // Lines through p1 and p2 with directions d1 and d2: intersections in 2D.
        const double *p1 = &v[0], *p2 = &v[6], *d2 = &v[9];
        double* d1 = &v[3];
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

TEST_F(Mth, ParallelAndDegenerateLines) {
    const double p1[3] = {0, 0, 0}, d[3] = {1, 1, 0}, p2[3] = {0, 1, 0}, z[3] = {0, 0, 0};
    const double nan[3] = {NAN, 0, 0};
    double t1 = 5, t2 = 5, pt[3] = {5, 5, 5}, dist = 0, foot[3], t = 9;
    EXPECT_EQ(mth_Intersect2DLines(3, 1e-9, p1, d, p2, d, &t1, &t2, pt), MTH_PARALLELLINES);
    EXPECT_EQ(mth_Intersect3DLines(7, 1e-9, p1, d, p2, d, &t1, &t2, pt), MTH_PARALLELLINES);
    EXPECT_EQ(mth_Intersect2DLines(3, 1e-9, nan, d, p2, nan, &t1, &t2, pt), MTH_PARALLELLINES);
    EXPECT_TRUE(t1 == 5 && t2 == 5 && pt[0] == 5);
    EXPECT_EQ(mth_DistanceBetween3DLines(0, 1e-9, p1, d, p2, d, &t1, &t2, &dist),
              MTH_PARALLELLINES);
    EXPECT_TRUE(t1 == 0 && t2 == -0.5 && dist == std::sqrt(0.5));
    EXPECT_EQ(mth_PointToLine(0, p2, p2, p1, foot, &t), MTH_DEGENERATE_LINE);
    EXPECT_TRUE(t == 0 && foot[1] == 1);
    EXPECT_EQ(mth_PointToLine2D(2, p2, z, p1, foot, &t), 0);
    EXPECT_EQ(mth_PointToLineDistProjParm(2, 3, p1, p2, z, foot, &t), 1.0);
    EXPECT_EQ(mth_OffsetPointAlongAxis(0, p1, 1, z, foot), MTH_SHORT_VECTOR);
    EXPECT_EQ(mth_OffsetPointAlongAxis(0, p1, 2, d, foot), 0);
    EXPECT_DOUBLE_EQ(foot[0], std::sqrt(2.0));
    EXPECT_EQ(mpm__LastError, 0); // all quiet
    // Snapping: a parameter within 1e-13 of 1 becomes 1 with option 0 only.
    const double b[3] = {1, 0, 0}, q[3] = {1 + 1e-14, 3, 0};
    mth_PointToLine(0, p1, b, q, foot, &t);
    EXPECT_EQ(t, 1.0);
    EXPECT_EQ(mth_Get3DPointLineProj(p1, b, q, foot, &dist), 0);
    EXPECT_EQ(dist, 3.0);
    mth_GetVectorRadPoint(p1, b, q, &dist, foot);
    EXPECT_TRUE(dist == 3.0 && foot[1] == 0);
}

TEST_F(Mth, FitsPointSetsAndBounds) {
    // Points on y = 2x + 1 (stride 3), on the steep line x = 5, all in one place, bent.
    const double pts[12] = {0, 1, 9, 1, 3, 9, 2, 5, 9, 3, 7, 9}, steep[6] = {5, 0, 5, 2, 5, 1};
    const double same[6] = {1, 1, 1, 1, 1, 1}, bent[6] = {0, 0, 1, 0.1, 2, 0};
    double s[2], e[2];
    ASSERT_EQ(mth_LeastSquaresLine2D(0, pts, 4, 3, 1e-9, s, e), 0);
    EXPECT_TRUE(s[0] == 0 && e[0] == 3 && std::fabs(s[1] - 1) + std::fabs(e[1] - 7) < 1e-12);
    ASSERT_EQ(mth_LeastSquaresLine2D(2, steep, 3, 2, 1e-9, s, e), 0);
    EXPECT_TRUE(s[0] == 5 && s[1] == 0 && e[0] == 0 && e[1] == 2);
    EXPECT_EQ(mth_LeastSquaresLine2D(0, steep, 1, 2, 1e-9, s, e), 1);
    EXPECT_EQ(mth_LeastSquaresLine2D(0, steep, 3, 0, 1e-9, s, e), 1); // bad stride
    EXPECT_EQ(mth_LeastSquaresLine2D(0, same, 3, 2, 1e-9, s, e), 1);
    EXPECT_EQ(mth_LeastSquaresLine2D(0, same, 2, 2, 1e-9, s, e), 1);
    int32_t first = -1, last = -1;
    EXPECT_EQ(mth_PointsDefineLine(pts, 4, 3, 1.0, 1e-9, &first, &last), 1);
    EXPECT_TRUE(first == 0 && last == 3);
    EXPECT_EQ(mth_PointsDefineLine(pts, 4, 3, 100.0, 1e-9, &first, &last), 0);
    EXPECT_EQ(mth_PointsDefineLine(bent, 3, 2, 0.5, 0.05, &first, &last), 0);
    EXPECT_EQ(mth_PointsDefineLine(bent, 3, 2, 0.5, 0.2, &first, &last), 1);
    EXPECT_EQ(mth_PointsCollinear(pts, 4, 3, 0, 1e-12), 1);
    EXPECT_EQ(mth_PointsCollinear(bent, 3, 2, 0, 1e-3), 0);
    EXPECT_EQ(mth_PointsCollinear(bent, 2, 2, 0, 0), 1);
    // Sides of the bounds, clipping and forcing into them.
    const double bounds[4] = {0, 10, 0, 5};
    int32_t side, dir, partial;
    const double left_down[6] = {0, 5, 0, 0, 0, 0}, top_part[6] = {2, 5, 0, 4, 5, 0},
                 inside[6] = {2, 2, 0, 3, 3, 0};
    mth_PointsOnBounds(left_down, bounds, 1e-9, &side, &dir, &partial);
    EXPECT_TRUE(side == 1 && dir == 2 && partial == 0);
    mth_PointsOnBounds(top_part, bounds, 1e-9, &side, &dir, &partial);
    EXPECT_TRUE(side == 2 && dir == 1 && partial == 1);
    mth_PointsOnBounds(inside, bounds, 1e-9, &side, &dir, &partial);
    EXPECT_TRUE(side == 0 && dir == 0 && partial == 1);
    double a[2] = {-5, 0}, b[2] = {5, 4}, far1[2] = {-2, 1}, far2[2] = {-1, 3};
    mth__2DLineTrimBounds(0, a, b, bounds);
    EXPECT_TRUE(std::fabs(a[0]) + std::fabs(a[1] - 2) < 1e-12 && b[0] == 5 && b[1] == 4);
    mth__2DLineTrimBounds(0, far1, far2, bounds); // wholly beyond min x: left alone
    EXPECT_TRUE(far1[0] == -2 && far2[0] == -1 && far2[1] == 3);
    double c[2] = {-1, 2}, d[2] = {20, 2}, p[2] = {-3, 7};
    mth__2DLineTrimBounds(0, c, d, bounds);
    EXPECT_TRUE(c[0] == 0 && c[1] == 2 && d[0] == 10 && d[1] == 2);
    mth_PointForceInBounds2D(0, p, bounds);
    EXPECT_TRUE(p[0] == 0 && p[1] == 5);
}

std::vector<double> Ident(int n) {
    std::vector<double> m(n * n);
    mth_GetIdentMatrix(n, n, m.data());
    return m;
}

TEST_F(Mth, RandomSystemsProductsAndTransposesMatchNaiveLoops) {
    Random random;
    for (int round = 0; round < 60; ++round) {
        // Diagonally dominant band matrices, small (inverted on the stack) and larger.
        const int n = random.Int(2, 24), m = random.Int(1, 4); // 1 x 1 has width 0
        std::vector<double> a(n * n, 0.0), b(n, 0.0), x(n), inv(n * n), product(n * n);
        for (int i = 0; i < n; ++i)
            for (int j = std::max(0, i - m); j <= std::min(n - 1, i + m); ++j)
                a[i * n + j] = i == j ? 4.0 * m : random.Uniform();
        ASSERT_EQ(mth_MatrixInverse(0, n, a.data(), inv.data()), 0);
        mth_MatrixProduct(0, n, n, n, a.data(), inv.data(), product.data());
        EXPECT_TRUE(Near(product.data(), Ident(n).data(), n * n, 1e-12));
        mth_MatrixInverse(0, n, inv.data(), inv.data()); // in place
        EXPECT_TRUE(Near(inv.data(), a.data(), n * n, 1e-11));
        // The banded solver, each exported name, the width given or computed from A.
        const auto x_true = random.Vector(n);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j)
                b[i] += a[i * n + j] * x_true[j];
        int32_t width = round % 2 ? m : 0;
        double* band = nullptr;
        auto to_band = round % 3 ? mth_FullMatrixToBanded : mth__FullMatrixToBanded;
        ASSERT_EQ(to_band(0, a.data(), n, n, &width, &band), 0);
        EXPECT_EQ(width, n > m ? m : width);
        auto lu = round % 2 ? mth_LuDecomposeBanded : mth__LuDecomposeBanded;
        auto sub = round % 2 ? mth__ForBackSubstitution : mth_ForBackSubstitution;
        ASSERT_EQ(lu(0, band, n, width), 0);
        ASSERT_EQ(sub(0, band, n, width, b.data(), x.data()), 0);
        EXPECT_TRUE(Near(x.data(), x_true.data(), n, 1e-12));
        std::free(band);
        // The general product of r x k by k x c, either operand stored transposed and in
        // rows padded by 2 (the leading dimensions), and the transpose: naive loops.
        const int r = random.Int(1, 5), k = random.Int(1, 5), c = random.Int(1, 5);
        const bool ta = round & 1, tb = round & 2;
        const int ra = ta ? k : r, ca = ta ? r : k, rb = tb ? c : k, cb = tb ? k : c;
        const auto pa = random.Vector(ra * (ca + 2)), pb = random.Vector(rb * (cb + 2));
        std::vector<double> out(r * (c + 1)), at(pa.size());
        auto fn = round & 4 ? mth__MultiplyMatrices : mth_MultiplyMatrices;
        ASSERT_EQ(
            fn(0, pa.data(), ca + 2, ra, ca, ta, pb.data(), cb + 2, rb, cb, tb, out.data(), c + 1),
            0);
        for (int i = 0; i < r; ++i)
            for (int j = 0; j < c; ++j) {
                double sum = 0;
                for (int l = 0; l < k; ++l)
                    sum += (ta ? pa[l * (ca + 2) + i] : pa[i * (ca + 2) + l]) *
                           (tb ? pb[j * (cb + 2) + l] : pb[l * (cb + 2) + j]);
                EXPECT_NEAR(out[i * (c + 1) + j], sum, 1e-14);
            }
        mth_MatrixTranspose(0, ra, ca + 2, pa.data(), at.data());
        for (int i = 0; i < ra; ++i)
            for (int j = 0; j < ca + 2; ++j)
                EXPECT_EQ(at[j * ra + i], pa[i * (ca + 2) + j]);
    }
    // Orders 3 and 4 have their own compiled elimination: on dense matrices that
    // need row swaps (and some singular ones) it must give exactly what the
    // general loop gives for the same matrix bordered by a unit corner.
    for (int round = 0; round < 40; ++round) {
        const int n = 3 + round % 2, b = n + 1;
        auto a = random.Vector(n * n);
        if (round % 8 == 7)
            for (int i = 0; i < n; ++i) a[i * n + 1] = 0.0; // a zero column: singular
        std::vector<double> border(b * b, 0.0), inv(n * n, 7.0), binv(b * b);
        for (int i = 0; i < n; ++i)
            std::copy_n(&a[i * n], n, &border[i * b]);
        border[b * b - 1] = 1.0;
        const int32_t status = mth_MatrixInverse(0, n, a.data(), inv.data());
        ASSERT_EQ(status, mth_MatrixInverse(0, b, border.data(), binv.data()));
        for (int i = 0; i < n * n; ++i)
            EXPECT_EQ(inv[i], status ? 7.0 : binv[i / n * b + i % n]) << "order " << n;
    }
    const double zero_column[4] = {1, 0, 2, 0}, nan[4] = {NAN, 0, 0, NAN};
    double out[4] = {9, 9, 9, 9};
    EXPECT_EQ(mth_MatrixInverse(0, 2, zero_column, out), MTH_SINGULAR_MATRIX);
    EXPECT_EQ(out[0], 9);
    EXPECT_EQ(mth_MatrixInverse(0, 2, nan, out), MTH_SINGULAR_MATRIX);
    EXPECT_EQ(mth_MatrixInverse(0, 0, nan, out), MTH_INVALID_RANGE);
    double m4[4] = {1, 2, 3, 4};
    EXPECT_EQ(mth_MultiplyMatrices(0, m4, 2, 2, 2, 0, m4, 2, 1, 2, 0, out, 2), MTH_INVALID_RANGE);
    mth_MatrixTranspose(0, 2, 2, m4, m4); // in place
    EXPECT_TRUE(m4[1] == 3 && m4[2] == 2);
    // The working copies of a large matrix, then the transpose's copy: each failing in turn.
    auto big = Ident(10);
    for (long nth = 1; nth <= 3; ++nth) {
        mvxc::SetAllocFailure(nth < 3 ? nth : 1);
        EXPECT_EQ(nth < 3 ? mth_MatrixInverse(0, 10, big.data(), big.data())
                          : mth_MatrixTranspose(0, 2, 2, zero_column, out),
                  MTH_NOMEMORY);
        mvxc::SetAllocFailure(0);
        EXPECT_EQ(mpm__LastError, MTH_NOMEMORY);
    }
}

TEST_F(Mth, AxisTransformationsComposeInvertAndTurnExactly) {
    Random random;
    for (int round = 0; round < 50; ++round) {
        auto point = random.Vector(3, -10, 10), axis = random.Vector(3),
             p = random.Vector(3, -5, 5);
        const double angle = random.Uniform(-4, 4), dist = random.Uniform(-3, 3);
        double rot[16], back[16], both[16], move[12], q[3], u[3], e1[3], e2[3], c[3];
        ASSERT_EQ(mth_MatrixRotateAboutAxis(1, point.data(), axis.data(), angle, rot), 0);
        ASSERT_EQ(mth_MatrixRotateAboutAxis(1, point.data(), axis.data(), -angle, back), 0);
        mth_MatrixProduct(0, 4, 4, 4, rot, back, both);
        EXPECT_TRUE(Near(both, Ident(4).data(), 16, 1e-12));
        // Points on the axis stay; distances to the axis are kept.
        mth_UnitizeVector(3, axis.data(), u);
        const double on[3] = {point[0] + 2 * u[0], point[1] + 2 * u[1], point[2] + 2 * u[2]};
        mth_TransformPoint(0, on, rot, q);
        EXPECT_TRUE(Near(q, on, 3, 1e-12));
        mth_TransformPoint(0, p.data(), rot, q);
        EXPECT_NEAR(mth_GetDistance(3, q, on), mth_GetDistance(3, p.data(), on), 1e-12);
        EXPECT_NEAR(mth_GetDistance(3, q, point.data()), mth_GetDistance(3, p.data(), point.data()),
                    1e-12);
        // Translation moves every point by dist along the unit axis, and no vector.
        ASSERT_EQ(mth_MatrixTranslateAlongAxis(0, point.data(), axis.data(), dist, move), 0);
        mth_TransformPoint(0, p.data(), move, q);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(q[i], p[i] + dist * u[i], 1e-12);
        mth_TransformVector(0, u, move, q);
        EXPECT_TRUE(Near(q, u, 3, 1e-12));
        // Frames: right-handed and orthonormal; global-to-local inverts local-to-global.
        ASSERT_EQ(mth_FindTwoPerpAxesToAxis(0, u, e1, e2), 0);
        mth_CrossVector(e1, e2, c);
        EXPECT_TRUE(Near(c, u, 3, 1e-12));
        double l2g[16], g2l[16], pm[9];
        ASSERT_EQ(mth_MatrixLocalToGlobalSys(1, e1, e2, u, point.data(), l2g), 0);
        ASSERT_EQ(mth_MatrixGlobalToLocalSys(1, e1, e2, u, point.data(), g2l), 0);
        mth_MatrixProduct(0, 4, 4, 4, l2g, g2l, both);
        EXPECT_TRUE(Near(both, Ident(4).data(), 16, 1e-12));
        ASSERT_EQ(mth_GetRotMatrixFromPlaneNorm(axis.data(), pm), 0);
        EXPECT_TRUE(Near(pm + 6, u, 3, 1e-15));
        EXPECT_NEAR(mth_DotVector(3, pm, pm + 3), 0, 1e-14);
    }
    const double zero[3] = {0, 0, 0}, x[3] = {1, 0, 0};
    double m[12] = {}, e1[3], e2[3];
    EXPECT_EQ(mth_MatrixRotateAboutAxis(0, zero, zero, 1, m), MTH_SHORT_VECTOR);
    EXPECT_EQ(mth_FindTwoPerpAxesToAxis(0, zero, e1, e2), MTH_SHORT_VECTOR);
    EXPECT_TRUE(e1[0] == 1 && e2[1] == 1);
    EXPECT_EQ(mth_MatrixGlobalToLocalSys(0, x, x, mth__ZNormal, zero, m), MTH_SINGULAR_MATRIX);
    // Exact quarter turns about an axis.
    const double z2[3] = {0, 0, 2}, want[9] = {0, -1, 0, 1, 0, 0, 0, 0, 1}, v[3] = {1, 2, 3};
    double r[9], out[3];
    EXPECT_EQ(mth_GetAxisMatrix(z2, kPi / 2, r), 0);
    EXPECT_EQ(std::memcmp(r, want, sizeof r), 0);
    mth_ApplyRotMatrixVector(0, r, v, out);
    EXPECT_TRUE(out[0] == -2 && out[1] == 1 && out[2] == 3);
    mth_ApplyRotMatrixVector(8, r, out, out); // transposed, in place: back
    EXPECT_TRUE(out[0] == 1 && out[1] == 2 && out[2] == 3);
    EXPECT_EQ(mth_GetAxisMatrix(zero, 1.0, r), MTH_SHORT_VECTOR);
    EXPECT_EQ(std::memcmp(r, Ident(3).data(), sizeof r), 0);
    // From three points: a = p1 - p0 = 2x, normal a x (p1 - p2) = -6z, in-plane -12y;
    // then the axis-aligned shortcuts for a shared y (negative) and a shared x.
    const double points[][9] = {
        {0, 0, 5, 2, 0, 5, 0, 3, 5}, {0, -1, 0, 1, -1, 0, 0, -1, 1}, {2, 0, 0, 2, 1, 0, 2, 0, 1}};
    const double wants[][9] = {
        {1, 0, 0, 0, -1, 0, 0, 0, -1}, {1, 0, 0, 0, 0, -1, 0, 1, 0}, {0, 0, 1, 0, 1, 0, 1, 0, 0}};
    for (int i = 0; i < 3; ++i) {
        const double* p = points[i];
        double plane[9];
        EXPECT_EQ(i == 0 ? mth_GetPlanePntMatrix(p, p + 3, p + 6, plane)
                         : mth_GetPntPlaneMatrix(1, p, p + 3, p + 6, plane),
                  0);
        EXPECT_TRUE(Near(plane, wants[i], 9, 0)) << i;
    }
    // From a list: coincident and collinear points are skipped.
    const double list[15] = {0, 0, 0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 1, 0, 0};
    EXPECT_EQ(mth_GetRotMatrixFromPnts(5, list, r), 0);
    EXPECT_EQ(mth_GetRotMatrixFromPnts(4, list, r), MTH_COLINEARPLANEPNTS);
    EXPECT_EQ(mth_GetRotMatrixFromPnts(0, list, r), MTH_COLINEARPLANEPNTS);
    EXPECT_EQ(mth_GetPlanePntMatrix(list, list + 6, list + 9, r), MTH_SHORT_VECTOR);
}

TEST_F(Mth, BandFormEdgesAndSingularPivots) {
    // Computed bandwidth: a NaN counts as non-zero; an all-zero row reaches the last column.
    const double a[9] = {1, 0, NAN, 0, 0, 0, 0, 0, 1};
    int32_t m = 0;
    double* band = nullptr;
    ASSERT_EQ(mth_FullMatrixToBanded(0, a, 3, 3, &m, &band), 0);
    EXPECT_EQ(m, 2);
    EXPECT_TRUE(band[0] + band[1] == 0 && band[2] == 1); // row 0 starts at column -2
    std::free(band);
    mvxc::SetAllocFailure(1);
    EXPECT_EQ(mth_FullMatrixToBanded(0, a, 3, 3, &m, &band), MTH_NOMEMORY);
    mvxc::SetAllocFailure(0);
    EXPECT_EQ(mth_FullMatrixToBanded(0, a, 2, 3, &m, &band), MTH_INVALID_RANGE);
    // Pivots: first, middle and last; n = 1 is not looked at.
    double first[6] = {0, 0, 1, 1, 1, 0}, last[6] = {0, 1, 1, 1, 1, 0},
           mid[9] = {0, 1, 1, 1, 1, 5, 5, 5, 0}, nan_band[3] = {NAN, NAN, NAN}, b[1] = {1}, x[1];
    EXPECT_EQ(mth_LuDecomposeBanded(0, first, 2, 1), MTH_SINGULAREQS);
    EXPECT_EQ(mth_LuDecomposeBanded(0, last, 2, 1), MTH_SINGULAREQS);
    EXPECT_EQ(mth_LuDecomposeBanded(0, mid, 3, 1), MTH_SINGULAREQS);
    EXPECT_EQ(mth_LuDecomposeBanded(0, nan_band, 1, 1), 0);
    EXPECT_EQ(mpm__LastError, MTH_INVALID_RANGE); // quiet: still the earlier failure
    EXPECT_EQ(mth_ForBackSubstitution(0, nan_band, 1, 0, b, x), MTH_INVALID_RANGE);
    // Two equations, both elimination orders, and the singular cases.
    const double m1[4] = {2, 1, 1, 3}, rhs[2] = {5, 10}, m2[4] = {0, 2, 4, 1},
                 sing[4] = {1, 2, 2, 4}, flat[4] = {0, 0, 1, 1};
    double out[2] = {7, 7};
    EXPECT_EQ(mth_SolveTwoLinearEqs(m1, rhs, 1e-12, out), 0);
    EXPECT_TRUE(Near(out, std::vector<double>{1, 3}.data(), 2, 1e-15));
    EXPECT_EQ(mth_SolveTwoLinearEqs(m2, rhs, 1e-12, out), 0);
    EXPECT_TRUE(out[0] == 1.875 && out[1] == 2.5);
    out[0] = 7;
    EXPECT_EQ(mth_SolveTwoLinearEqs(sing, rhs, 1e-12, out), MTH_SINGULAREQS);
    EXPECT_EQ(mth_SolveTwoLinearEqs(flat, rhs, 1e-12, out), MTH_SINGULAREQS);
    EXPECT_EQ(out[0], 7);
}

TEST_F(Mth, SortsAgreeWithStdSortAndFactorialWraps) {
    Random random;
    for (int round = 0; round < 30; ++round) {
        const int n = random.Int(0, 40), order = round % 3 + 1; // 1 ascending, others descending
        auto v = random.Vector(n), ref = v;
        std::vector<int32_t> iv(n), tags(n);
        std::vector<double> table(n * 2); // rows of (key, tag), with the tags as companion
        for (int i = 0; i < n; ++i)
            iv[i] = random.Int(-5, 5), table[2 * i] = random.Int(0, 3),
            table[2 * i + 1] = tags[i] = i;
        auto iref = iv;
        mth_SortDouble(order, n, v.data());
        mth_SortInteger(order, n, iv.data());
        std::sort(ref.begin(), ref.end()), std::sort(iref.begin(), iref.end());
        if (order != 1)
            std::reverse(ref.begin(), ref.end()), std::reverse(iref.begin(), iref.end());
        EXPECT_EQ(v, ref);
        EXPECT_EQ(iv, iref);
        ASSERT_EQ(
            mth_SortDoubleArrayByBubble(order == 1 ? 1 : 2, n, 2, table.data(), 0, tags.data()), 0);
        for (int i = 0; i + 1 < n; ++i) {
            const double a = table[2 * i], b = table[2 * i + 2]; // stable by key
            EXPECT_TRUE((order == 1 ? a < b : a > b) ||
                        (a == b && table[2 * i + 1] < table[2 * i + 3]));
            EXPECT_EQ(tags[i], table[2 * i + 1]);
        }
    }
    double row[2] = {1, 2};
    EXPECT_EQ(mth_SortDoubleArrayByBubble(3, 1, 2, row, 0, nullptr), MTH_INVALID_OPT);
    EXPECT_EQ(mth_SortDoubleArrayByBubble(1, 1, 2, row, 2, nullptr), MTH_INVALID_RANGE);
    EXPECT_EQ(mth_GetFactorial(13), 1932053504u);
    EXPECT_EQ(mth_GetFactorial(-3), 1u);
    EXPECT_EQ(mth_GetFactorial(2000000000), 0u); // wrapped to 0 long before; ends at once
}

} // namespace
