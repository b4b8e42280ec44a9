// Vector operations: the quiet statuses of unitizing and division, the
// comparison rules, and a randomized run of the arithmetic against direct
// formulas.
#include <cmath>
#include <cstring>
#include <vector>

#include "mth/mth_test_util.h"
#include "support/fixture.h"

namespace {

class MthVector : public mvxtest::LibraryTest {};

TEST_F(MthVector, ShortVectorsAndTinyDivisorsFailQuietly) {
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
}

TEST_F(MthVector, ComparisonRules) {
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
    // Relative: 1% apart at length 100; tiny vectors are equal whatever
    // their directions.
    EXPECT_EQ(mth_CompareVector(2, big1, big2, 0.02), 1);
    EXPECT_EQ(mth_CompareVector(2, big1, big2, 0.005), 0);
    EXPECT_EQ(mth_CompareVector(2, t1, t2, 0.01), 1);
    EXPECT_EQ(mth_CompareVector(2, t1, t2, 1e-6), 0);
    // Cosine: 0 with a zero vector, clamped to [-1, 1].
    EXPECT_EQ(mth_CosineTwoVectors(a, z, 2), 0.0);
    EXPECT_DOUBLE_EQ(mth_CosineTwoVectors(a, a, 2), 1.0);
    EXPECT_DOUBLE_EQ(mth_CosineTwoVectors(a, neg, 2), -1.0);
    EXPECT_EQ(mth_CheckDirColin(3, 1e-6, p, q, r), 1);
    EXPECT_EQ(mth_CheckDirColin(3, 1e-9, p, q, r), 0);
    EXPECT_EQ(mth_CheckDirColin(3, 1e-6, p, q, back), 0); // turning back is not parallel
    EXPECT_EQ(mth_CheckDirColin(3, 1e-6, p, p, r), 1);    // a zero direction
    EXPECT_EQ(mth_CheckColin(3, 1e-3, p, q, r), 1);
    EXPECT_EQ(mth_CheckColin(3, 1e-5, p, q, r), 0);
    EXPECT_EQ(mth_CheckColin(4, 1e9, p, q, r), 0); // only 2 or 3 dimensions
    EXPECT_EQ(mth_CheckColin(2, 2.0, z, s, u), 1); // area exactly 2
    EXPECT_EQ(mth_CheckColin(2, 1.999, z, s, u), 0);
}

TEST_F(MthVector, RandomArithmeticMatchesDirectFormulas) {
    mthtest::Random random;
    for (int round = 0; round < 200; ++round) {
        const int n = random.Int(1, 6);
        auto a = random.Vector(n), b = random.Vector(n);
        std::vector<double> sum(n), diff(n), out(n);
        double dot = 0, dist = 0;
        for (int i = 0; i < n; ++i) {
            sum[i] = a[i] + b[i], diff[i] = b[i] - a[i];
            dot += a[i] * b[i], dist += (a[i] - b[i]) * (a[i] - b[i]);
        }
        mth_AddVector(n, a.data(), b.data(), out.data());
        EXPECT_TRUE(mthtest::Near(out.data(), sum.data(), n, 0));
        mth_MakeVector(n, a.data(), b.data(), out.data());
        EXPECT_TRUE(mthtest::Near(out.data(), diff.data(), n, 0));
        mth_SubtractVector(n, b.data(), a.data(), out.data());
        EXPECT_TRUE(mthtest::Near(out.data(), diff.data(), n, 0));
        mth_MultiplyVector(n, a.data(), 3.0, out.data());
        mth_DivideVector(n, out.data(), 3.0, out.data()); // in place
        EXPECT_TRUE(mthtest::Near(out.data(), a.data(), n, 1e-15));
        EXPECT_NEAR(mth_DotVector(n, a.data(), b.data()), dot, 1e-15);
        EXPECT_NEAR(mth_GetSquaredDistance(n, a.data(), b.data()), dist, 1e-15);
        EXPECT_NEAR(mth_GetDistance(n, a.data(), b.data()), std::sqrt(dist), 1e-15);
        if (mth_UnitizeVector(n, a.data(), out.data()) == 0) {
            EXPECT_NEAR(mth_GetVectorMag(n, out.data()), 1.0, 1e-15);
        }
        if (n == 3) {
            double c[3];
            mth_CrossVector(a.data(), b.data(), c);
            EXPECT_NEAR(mth_DotVector(3, c, a.data()) + mth_DotVector(3, c, b.data()), 0, 1e-15);
        }
    }
}

TEST_F(MthVector, AverageAndBoundingBox) {
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

} // namespace
