#include <cstdint>
#include <cstdlib>

#include "common/common_alloc.h"
#include "mth/mth_int.h"

int32_t mthi::FullMatrixToBanded(const double* a, int32_t lda, int32_t n, int32_t* m,
                                 double** out) {
    if (n < 1 || lda < n) return Fail(MTH_INVALID_RANGE);
    auto at = [a, lda](int32_t i, int32_t j) { return a[static_cast<std::ptrdiff_t>(i) * lda + j]; };
    if (*m < 1) {
        // Farthest non-zero (or NaN) element from the diagonal over all rows.
        int32_t width = 0;
        for (int32_t i = 0; i < n; ++i) {
            int32_t first = 0;
            while (first < n - 1 && at(i, first) == 0.0) ++first;
            int32_t last = n - 1;
            while (last > first && at(i, last) == 0.0) --last;
            const int32_t d1 = first > i ? first - i : i - first, d2 = last > i ? last - i : i - last;
            width = std::max(width, std::max(d1, d2));
        }
        *m = width;
    }
    const int32_t mm = *m;
    const std::size_t row = 2 * static_cast<std::size_t>(mm) + 1;
    if (row > SIZE_MAX / sizeof(double) / static_cast<std::size_t>(n)) return Fail(MTH_NOMEMORY);
    auto* band = static_cast<double*>(mvxc::Malloc(row * static_cast<std::size_t>(n) * sizeof(double)));
    if (band == nullptr) return Fail(MTH_NOMEMORY);
    for (int32_t i = 0; i < n; ++i)
        for (std::size_t k = 0; k < row; ++k) {
            const int64_t j = static_cast<int64_t>(i) - mm + static_cast<int64_t>(k);
            band[static_cast<std::size_t>(i) * row + k] =
                j < 0 || j >= n ? 0.0 : at(i, static_cast<int32_t>(j));
        }
    *out = band;
    return 0;
}

extern "C" int32_t mth_FullMatrixToBanded(uint32_t /*reserved*/, const double* a, int32_t lda,
                                          int32_t n, int32_t* m, double** out) {
    return mthi::FullMatrixToBanded(a, lda, n, m, out);
}
