// Matrices and transformations: inverse against the identity, composition
// and inversion of the axis transformations, the general product against
// a transposing reference, exact hand-worked cases and singular input.
#include <cmath>
#include <cstring>
#include <vector>

#include "common/common_alloc.h"
#include "mth/mth_test_util.h"
#include "support/fixture.h"

namespace {

using mthtest::Near;

class MthMatrix : public mvxtest::LibraryTest {};

std::vector<double> Product(int r, int k, int c, const double* a, const double* b) {
    std::vector<double> out(r * c);
    mth_MatrixProduct(0, r, k, c, a, b, out.data());
    return out;
}

std::vector<double> Ident(int n) {
    std::vector<double> m(n * n);
    mth_GetIdentMatrix(n, n, m.data());
    return m;
}

// A well-conditioned random matrix: diagonally dominant.
std::vector<double> WellConditioned(mthtest::Random& random, int n) {
    auto m = random.Vector(n * n);
    for (int i = 0; i < n; ++i)
        m[i * n + i] += (random.Uniform() < 0 ? -1 : 1) * n;
    return m;
}

TEST_F(MthMatrix, InverseTimesMatrixIsIdentityAndHandlesSingular) {
    mthtest::Random random;
    for (int round = 0; round < 60; ++round) {
        const int n = random.Int(1, 12); // both the stack and heap paths
        auto a = WellConditioned(random, n);
        std::vector<double> inv(n * n);
        ASSERT_EQ(mth_MatrixInverse(0, n, a.data(), inv.data()), 0);
        EXPECT_TRUE(
            Near(Product(n, n, n, a.data(), inv.data()).data(), Ident(n).data(), n * n, 1e-12));
        mth_MatrixInverse(0, n, inv.data(), inv.data()); // in place
        EXPECT_TRUE(Near(inv.data(), a.data(), n * n, 1e-12));
    }
    const double zero_column[4] = {1, 0, 2, 0};
    double out[4] = {9, 9, 9, 9};
    EXPECT_EQ(mth_MatrixInverse(0, 2, zero_column, out), (int32_t)MTH_SINGULAR_MATRIX);
    EXPECT_EQ(out[0], 9);
    const double nan[4] = {NAN, 0, 0, NAN};
    EXPECT_EQ(mth_MatrixInverse(0, 2, nan, out), (int32_t)MTH_SINGULAR_MATRIX);
    EXPECT_EQ(mth_MatrixInverse(0, 0, nan, out), (int32_t)MTH_INVALID_RANGE);
    const auto id = Ident(3);
    double id_inv[9];
    EXPECT_EQ(mth_MatrixInverse(0, 3, id.data(), id_inv), 0);
    EXPECT_EQ(std::memcmp(id_inv, id.data(), sizeof id_inv), 0);
    // The working copies of a large matrix: each allocation failing in turn.
    auto big = WellConditioned(random, 10);
    for (long nth = 1; nth <= 2; ++nth) {
        mvxc::SetAllocFailure(nth);
        EXPECT_EQ(mth_MatrixInverse(0, 10, big.data(), big.data()), (int32_t)MTH_NOMEMORY);
        mvxc::SetAllocFailure(0);
    }
    mvxc::SetAllocFailure(1);
    EXPECT_EQ(mth_MatrixTranspose(0, 2, 2, zero_column, out), (int32_t)MTH_NOMEMORY);
    mvxc::SetAllocFailure(0);
    EXPECT_EQ(mpm__LastError, (int32_t)MTH_NOMEMORY);
}

TEST_F(MthMatrix, GeneralProductMatchesTransposedOperands) {
    mthtest::Random random;
    for (int round = 0; round < 40; ++round) {
        const int r = random.Int(1, 5), k = random.Int(1, 5), c = random.Int(1, 5);
        auto a = random.Vector(r * k), b = random.Vector(k * c);
        std::vector<double> at(r * k), bt(k * c);
        mth_MatrixTranspose(0, r, k, a.data(), at.data());
        mth_MatrixTranspose(0, k, c, b.data(), bt.data());
        const auto ref = Product(r, k, c, a.data(), b.data());
        for (int sel = 0; sel < 4; ++sel) {
            const bool ta = sel & 1, tb = sel & 2;
            const double* pa = ta ? at.data() : a.data();
            const double* pb = tb ? bt.data() : b.data();
            // Stored rows padded by 2 to exercise the leading dimensions.
            const int ra = ta ? k : r, ca = ta ? r : k, rb = tb ? c : k, cb = tb ? k : c;
            std::vector<double> pad_a(ra * (ca + 2)), pad_b(rb * (cb + 2)), out(r * (c + 1));
            for (int i = 0; i < ra; ++i)
                std::memcpy(&pad_a[i * (ca + 2)], pa + i * ca, ca * 8);
            for (int i = 0; i < rb; ++i)
                std::memcpy(&pad_b[i * (cb + 2)], pb + i * cb, cb * 8);
            auto fn = sel % 2 ? mth__MultiplyMatrices : mth_MultiplyMatrices;
            ASSERT_EQ(fn(0, pad_a.data(), ca + 2, ra, ca, ta, pad_b.data(), cb + 2, rb, cb, tb,
                         out.data(), c + 1),
                      0);
            for (int i = 0; i < r; ++i)
                EXPECT_TRUE(Near(&out[i * (c + 1)], &ref[i * c], c, 1e-14));
        }
    }
    double a[4] = {1, 2, 3, 4}, out[4];
    EXPECT_EQ(mth_MultiplyMatrices(0, a, 2, 2, 2, 0, a, 2, 1, 2, 0, out, 2),
              (int32_t)MTH_INVALID_RANGE);
    mth_MatrixTranspose(0, 2, 2, a, a); // in place
    EXPECT_TRUE(a[1] == 3 && a[2] == 2);
}

TEST_F(MthMatrix, AxisRotationIsExactOnQuarterTurns) {
    const double z2[3] = {0, 0, 2}, want[9] = {0, -1, 0, 1, 0, 0, 0, 0, 1};
    double r[9];
    EXPECT_EQ(mth_GetAxisMatrix(z2, mthtest::kPi / 2, r), 0);
    EXPECT_EQ(std::memcmp(r, want, sizeof r), 0);
    const double v[3] = {1, 2, 3};
    double out[3];
    mth_ApplyRotMatrixVector(0, r, v, out);
    EXPECT_TRUE(out[0] == -2 && out[1] == 1 && out[2] == 3);
    mth_ApplyRotMatrixVector(8, r, out, out); // transposed, in place: back
    EXPECT_TRUE(out[0] == 1 && out[1] == 2 && out[2] == 3);
    const double zero[3] = {0, 0, 0};
    EXPECT_EQ(mth_GetAxisMatrix(zero, 1.0, r), (int32_t)MTH_SHORT_VECTOR);
    EXPECT_EQ(std::memcmp(r, Ident(3).data(), sizeof r), 0);
}

TEST_F(MthMatrix, AxisTransformationsComposeAndInvert) {
    mthtest::Random random;
    for (int round = 0; round < 50; ++round) {
        auto point = random.Vector(3, -10, 10), axis = random.Vector(3),
             p = random.Vector(3, -5, 5);
        const double angle = random.Uniform(-4, 4), dist = random.Uniform(-3, 3);
        double rot[16], back[16], both[16], move[12], q[3], u[3], e1[3], e2[3];
        ASSERT_EQ(mth_MatrixRotateAboutAxis(1, point.data(), axis.data(), angle, rot), 0);
        ASSERT_EQ(mth_MatrixRotateAboutAxis(1, point.data(), axis.data(), -angle, back), 0);
        mth_MatrixProduct(0, 4, 4, 4, rot, back, both);
        EXPECT_TRUE(Near(both, Ident(4).data(), 16, 1e-12));
        // Points on the axis stay.
        mth_UnitizeVector(3, axis.data(), u);
        const double on[3] = {point[0] + 2 * u[0], point[1] + 2 * u[1], point[2] + 2 * u[2]};
        mth_TransformPoint(0, on, rot, q);
        EXPECT_TRUE(Near(q, on, 3, 1e-12));
        // Distances to two points of the axis, and so to the axis, are kept.
        mth_TransformPoint(0, p.data(), rot, q);
        EXPECT_NEAR(mth_GetDistance(3, q, on), mth_GetDistance(3, p.data(), on), 1e-12);
        EXPECT_NEAR(mth_GetDistance(3, q, point.data()), mth_GetDistance(3, p.data(), point.data()),
                    1e-12);
        // Translation moves every point by dist along the unit axis.
        ASSERT_EQ(mth_MatrixTranslateAlongAxis(0, point.data(), axis.data(), dist, move), 0);
        mth_TransformPoint(0, p.data(), move, q);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(q[i], p[i] + dist * u[i], 1e-12);
        mth_TransformVector(0, u, move, q);
        EXPECT_TRUE(Near(q, u, 3, 1e-12));
        // Frames: right-handed and orthonormal; global-to-local inverts local-to-global.
        ASSERT_EQ(mth_FindTwoPerpAxesToAxis(0, u, e1, e2), 0);
        double c[3];
        mth_CrossVector(e1, e2, c);
        EXPECT_TRUE(Near(c, u, 3, 1e-12));
        double l2g[16], g2l[16];
        ASSERT_EQ(mth_MatrixLocalToGlobalSys(1, e1, e2, u, point.data(), l2g), 0);
        ASSERT_EQ(mth_MatrixGlobalToLocalSys(1, e1, e2, u, point.data(), g2l), 0);
        mth_MatrixProduct(0, 4, 4, 4, l2g, g2l, both);
        EXPECT_TRUE(Near(both, Ident(4).data(), 16, 1e-12));
        double pm[9];
        ASSERT_EQ(mth_GetRotMatrixFromPlaneNorm(axis.data(), pm), 0);
        EXPECT_TRUE(Near(pm + 6, u, 3, 1e-15));
        EXPECT_NEAR(mth_DotVector(3, pm, pm + 3), 0, 1e-14);
    }
    const double zero[3] = {0, 0, 0}, x[3] = {1, 0, 0};
    double m[12] = {}, e1[3], e2[3];
    EXPECT_EQ(mth_MatrixRotateAboutAxis(0, zero, zero, 1, m), (int32_t)MTH_SHORT_VECTOR);
    EXPECT_EQ(mth_FindTwoPerpAxesToAxis(0, zero, e1, e2), (int32_t)MTH_SHORT_VECTOR);
    EXPECT_TRUE(e1[0] == 1 && e2[1] == 1);
    EXPECT_EQ(mth_MatrixGlobalToLocalSys(0, x, x, mth__ZNormal, zero, m),
              (int32_t)MTH_SINGULAR_MATRIX);
}

TEST_F(MthMatrix, PlaneMatricesFromPoints) {
    const double p0[3] = {0, 0, 5}, p1[3] = {2, 0, 5}, p2[3] = {0, 3, 5};
    double m[9];
    EXPECT_EQ(mth_GetPlanePntMatrix(p0, p1, p2, m), 0);
    // a = p1 - p0 = 2x, b = p1 - p2, normal a x b = -6z, in-plane (a x b) x a = -12y.
    const double want[9] = {1, 0, 0, 0, -1, 0, 0, 0, -1};
    EXPECT_TRUE(Near(m, want, 9, 0));
    // Axis-aligned shortcuts: shared y (negative) and shared x.
    const double y0[3] = {0, -1, 0}, y1[3] = {1, -1, 0}, y2[3] = {0, -1, 1};
    EXPECT_EQ(mth_GetPntPlaneMatrix(1, y0, y1, y2, m), 0);
    const double want_y[9] = {1, 0, 0, 0, 0, -1, 0, 1, 0};
    EXPECT_TRUE(Near(m, want_y, 9, 0));
    const double x0[3] = {2, 0, 0}, x1[3] = {2, 1, 0}, x2[3] = {2, 0, 1};
    EXPECT_EQ(mth_GetPntPlaneMatrix(1, x0, x1, x2, m), 0);
    const double want_x[9] = {0, 0, 1, 0, 1, 0, 1, 0, 0};
    EXPECT_TRUE(Near(m, want_x, 9, 0));
    // From a list: coincident and collinear points are skipped.
    const double list[15] = {0, 0, 0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 1, 0, 0};
    EXPECT_EQ(mth_GetRotMatrixFromPnts(5, list, m), 0);
    EXPECT_EQ(mth_GetRotMatrixFromPnts(4, list, m), (int32_t)MTH_COLINEARPLANEPNTS);
    EXPECT_EQ(mth_GetRotMatrixFromPnts(0, list, m), (int32_t)MTH_COLINEARPLANEPNTS);
    EXPECT_EQ(mth_GetPlanePntMatrix(list, list + 6, list + 9, m), (int32_t)MTH_SHORT_VECTOR);
}

} // namespace
