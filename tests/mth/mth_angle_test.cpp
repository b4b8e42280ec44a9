// Angles: the quadrant rules, normalisation of angle pairs and periodic
// parameters (including huge and NaN input), and snapped rotation.
#include <cmath>

#include "mth/mth_test_util.h"
#include "support/fixture.h"

namespace {

using mthtest::kPi;

class MthAngle : public mvxtest::LibraryTest {};

TEST_F(MthAngle, QuadrantsAndOrigin) {
    EXPECT_EQ(mth_GetAtan2(0, 0), 0.0);
    const struct {
        double x, y, angle;
    } cases[] = {{-1, 0, kPi},          {0, -2, 3 * kPi / 2}, {1, -1, 7 * kPi / 4},
                 {-1, -1, 5 * kPi / 4}, {2, 2, kPi / 4},      {0, 5, kPi / 2}};
    for (const auto& c : cases) {
        const double p[2] = {c.x, c.y};
        double angle = -1;
        int32_t flag = 0;
        mth_GetAngle2DPoint(0, p, &angle, &flag);
        EXPECT_EQ(flag, 1);
        EXPECT_DOUBLE_EQ(angle, c.angle) << c.x << "," << c.y;
        EXPECT_NEAR(angle, mth_GetAtan2(c.y, c.x), 1e-15);
    }
    for (const double x : {1e-14, double(NAN)}) {
        const double p[2] = {x, x == x ? 0 : NAN};
        double angle = 42;
        int32_t flag = 0;
        mth_GetAngle2DPoint(0, p, &angle, &flag);
        EXPECT_TRUE(flag == 2 && angle == 42);
    }
}

TEST_F(MthAngle, NormalizationKeepsAnglesInTheirRanges) {
    double s = 0.1, e = 0.1;
    mth_NormalizeAngles(0, &s, &e, 1e-6);
    EXPECT_TRUE(s == 0.1 && e == 0.1 + 2 * kPi);
    mthtest::Random random;
    for (int round = 0; round < 300; ++round) {
        const double s0 = random.Uniform(-1e6, 1e6), e0 = random.Uniform(-1e6, 1e6), t = 1e-9;
        s = s0, e = e0;
        mth_NormalizeAngles(0, &s, &e, t);
        EXPECT_TRUE(s >= -t && s < 2 * kPi + t) << s;
        EXPECT_TRUE(e > s - t && e <= s + 2 * kPi + t) << s << " " << e;
        EXPECT_NEAR(std::remainder(s - s0, 2 * kPi), 0, 1e-9);
        EXPECT_NEAR(std::remainder(e - e0, 2 * kPi), 0, 1e-9);
        double v = random.Uniform(-1e3, 1e3);
        const double v0 = v, start = random.Uniform(-5, 5), period = random.Uniform(0.5, 3);
        ASSERT_EQ(mth_NormalizeParameterToRange(0, start, period, &v), 0);
        EXPECT_TRUE(v >= start && v < start + period);
        EXPECT_NEAR(std::remainder(v - v0, period), 0, 1e-9);
    }
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

TEST_F(MthAngle, SnappedRotationIsExactOnQuarterTurns) {
    double s, c;
    mth_GetAngleSinCos(kPi, &s, &c);
    EXPECT_TRUE(s == 0 && c == -1);
    double v[2] = {3, 4};
    mth_RotateVector2D(kPi / 2, v, v);
    EXPECT_TRUE(v[0] == -4 && v[1] == 3);
    double p[3] = {1, 1, 7};
    mth_OffsetPoint(p, 3 * kPi / 2, 2, p);
    EXPECT_TRUE(p[0] == 1 && p[1] == -1 && p[2] == 7);
}

} // namespace
