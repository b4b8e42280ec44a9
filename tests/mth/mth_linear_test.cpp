// Linear systems and sorting: banded LU against a dense solve of the same
// system, the computed half bandwidth, two-equation solving, the sorts
// against std::sort, and the factorial's wrap.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "common/common_alloc.h"
#include "mth/mth_test_util.h"
#include "support/fixture.h"

namespace {

class MthLinear : public mvxtest::LibraryTest {};

TEST_F(MthLinear, BandedSolveAgreesWithDenseSolve) {
    mthtest::Random random;
    for (int round = 0; round < 40; ++round) {
        const int n = random.Int(1, 30), m = random.Int(1, 4);
        std::vector<double> a(n * n, 0.0);
        for (int i = 0; i < n; ++i)
            for (int j = std::max(0, i - m); j <= std::min(n - 1, i + m); ++j)
                a[i * n + j] = i == j ? 4.0 * m : random.Uniform();
        const auto x_true = random.Vector(n);
        std::vector<double> b(n, 0.0), x(n), inv(n * n);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j)
                b[i] += a[i * n + j] * x_true[j];
        // Dense reference: x = A^-1 b.
        ASSERT_EQ(mth_MatrixInverse(0, n, a.data(), inv.data()), 0);
        std::vector<double> dense(n, 0.0);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j)
                dense[i] += inv[i * n + j] * b[j];
        int32_t width = round % 2 ? m : 0; // half of them computed from A
        double* band = nullptr;
        auto to_band = round % 3 ? mth_FullMatrixToBanded : mth__FullMatrixToBanded;
        ASSERT_EQ(to_band(0, a.data(), n, n, &width, &band), 0);
        if (n > m) {
            EXPECT_EQ(width, m);
        }
        auto lu = round % 2 ? mth_LuDecomposeBanded : mth__LuDecomposeBanded;
        auto sub = round % 2 ? mth__ForBackSubstitution : mth_ForBackSubstitution;
        ASSERT_EQ(lu(0, band, n, width), 0);
        ASSERT_EQ(sub(0, band, n, width, b.data(), x.data()), 0);
        EXPECT_TRUE(mthtest::Near(x.data(), dense.data(), n, 1e-12));
        std::free(band);
    }
}

TEST_F(MthLinear, BandFormEdgesAndSingularPivots) {
    // Computed bandwidth: a NaN counts as non-zero; an all-zero row reaches the last column.
    const double a[9] = {1, 0, NAN, 0, 0, 0, 0, 0, 1};
    int32_t m = 0;
    double* band = nullptr;
    ASSERT_EQ(mth_FullMatrixToBanded(0, a, 3, 3, &m, &band), 0);
    EXPECT_EQ(m, 2);
    EXPECT_EQ(band[2], 1.0); // row 0 starts at column -2: two zeros first
    EXPECT_EQ(band[0] + band[1], 0.0);
    std::free(band);
    mvxc::SetAllocFailure(1);
    EXPECT_EQ(mth_FullMatrixToBanded(0, a, 3, 3, &m, &band), (int32_t)MTH_NOMEMORY);
    mvxc::SetAllocFailure(0);
    EXPECT_EQ(mth_FullMatrixToBanded(0, a, 2, 3, &m, &band), (int32_t)MTH_INVALID_RANGE);
    // Pivots: first, middle and last; n = 1 is not looked at.
    double first[6] = {0, 0, 1, 1, 1, 0}, last[6] = {0, 1, 1, 1, 1, 0},
           nan_band[3] = {NAN, NAN, NAN};
    EXPECT_EQ(mth_LuDecomposeBanded(0, first, 2, 1), (int32_t)MTH_SINGULAREQS);
    EXPECT_EQ(mth_LuDecomposeBanded(0, last, 2, 1), (int32_t)MTH_SINGULAREQS);
    EXPECT_EQ(mth_LuDecomposeBanded(0, nan_band, 1, 1), 0);
    double mid[9] = {0, 1, 1, 1, 1, 5, 5, 5, 0};
    EXPECT_EQ(mth_LuDecomposeBanded(0, mid, 3, 1), (int32_t)MTH_SINGULAREQS);
    EXPECT_EQ(mpm__LastError, (int32_t)MTH_INVALID_RANGE); // quiet: still the earlier failure
    double b[1] = {1}, x[1];
    EXPECT_EQ(mth_ForBackSubstitution(0, nan_band, 1, 0, b, x), (int32_t)MTH_INVALID_RANGE);
    // Two equations, both elimination orders, and the singular cases.
    const double m1[4] = {2, 1, 1, 3}, rhs[2] = {5, 10}, m2[4] = {0, 2, 4, 1},
                 sing[4] = {1, 2, 2, 4};
    double out[2] = {7, 7};
    EXPECT_EQ(mth_SolveTwoLinearEqs(m1, rhs, 1e-12, out), 0);
    EXPECT_TRUE(mthtest::Near(out, std::vector<double>{1, 3}.data(), 2, 1e-15));
    EXPECT_EQ(mth_SolveTwoLinearEqs(m2, rhs, 1e-12, out), 0);
    EXPECT_TRUE(mthtest::Near(out, std::vector<double>{1.875, 2.5}.data(), 2, 1e-15));
    out[0] = 7;
    EXPECT_EQ(mth_SolveTwoLinearEqs(sing, rhs, 1e-12, out), (int32_t)MTH_SINGULAREQS);
    EXPECT_EQ(out[0], 7);
}

TEST_F(MthLinear, SortsAgreeWithStdSortAndFactorialWraps) {
    mthtest::Random random;
    for (int round = 0; round < 30; ++round) {
        const int n = random.Int(0, 40);
        auto v = random.Vector(n), ref = v;
        std::vector<int32_t> iv(n), iref;
        for (int i = 0; i < n; ++i)
            iv[i] = random.Int(-5, 5);
        iref = iv;
        const int order = round % 3 + 1; // 1 ascending, others descending
        mth_SortDouble(order, n, v.data());
        mth_SortInteger(order, n, iv.data());
        if (order == 1) {
            std::sort(ref.begin(), ref.end()), std::sort(iref.begin(), iref.end());
        } else {
            std::sort(ref.rbegin(), ref.rend()), std::sort(iref.rbegin(), iref.rend());
        }
        EXPECT_EQ(v, ref);
        EXPECT_EQ(iv, iref);
        // Rows of (key, tag) with a companion: stable by key.
        std::vector<double> table(n * 2);
        std::vector<int32_t> tags(n);
        for (int i = 0; i < n; ++i)
            table[2 * i] = random.Int(0, 3), table[2 * i + 1] = i, tags[i] = i;
        ASSERT_EQ(
            mth_SortDoubleArrayByBubble(order == 1 ? 1 : 2, n, 2, table.data(), 0, tags.data()), 0);
        for (int i = 0; i + 1 < n; ++i) {
            const double a = table[2 * i], b = table[2 * i + 2];
            EXPECT_TRUE(order == 1 ? a <= b : a >= b);
            if (a == b) {
                EXPECT_LT(table[2 * i + 1], table[2 * i + 3]);
            }
            EXPECT_EQ(tags[i], table[2 * i + 1]);
        }
    }
    double row[2] = {1, 2};
    EXPECT_EQ(mth_SortDoubleArrayByBubble(3, 1, 2, row, 0, nullptr), (int32_t)MTH_INVALID_OPT);
    EXPECT_EQ(mth_SortDoubleArrayByBubble(1, 1, 2, row, 2, nullptr), (int32_t)MTH_INVALID_RANGE);
    EXPECT_EQ(mth_GetFactorial(13), 1932053504u);
    EXPECT_EQ(mth_GetFactorial(-3), 1u);
    EXPECT_EQ(mth_GetFactorial(5), 120u);
    EXPECT_EQ(mth_GetFactorial(2000000000), 0u); // wrapped to 0 long before; ends at once
}

} // namespace
