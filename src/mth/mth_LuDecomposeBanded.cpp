// Doolittle factorisation without pivoting, in the band storage: row i
// (0-based) keeps columns i - m .. i + m at offsets 0 .. 2m, so element
// (i, j) is at i * (2m + 1) + m + (j - i). L (unit diagonal, not stored)
// takes the places below the diagonal, U the diagonal and above. Row i of U
// and then column i of L are finished in turn, each from the rows and
// columns finished before it, so every sum runs over at most m terms.
#include <algorithm>

#include "mth/mth_int.h"

int32_t mthi::LuDecomposeBanded(double* band, int32_t n, int32_t m) {
    if (n < 0 || m < 0) return Fail(MTH_INVALID_RANGE);
    if (n <= 1 || m == 0) return 0;
    const std::ptrdiff_t w = 2 * static_cast<std::ptrdiff_t>(m) + 1;
    auto at = [band, w, m](int32_t i, int32_t j) -> double& {
        return band[i * w + m + (j - i)];
    };
    if (!(std::fabs(at(0, 0)) > kPivot)) return MTH_SINGULAREQS;
    for (int32_t r = 1; r <= std::min(m, n - 1); ++r) at(r, 0) /= at(0, 0);
    for (int32_t i = 1; i < n; ++i) {
        const int32_t jend = std::min(i + m, n - 1);
        for (int32_t j = i; j <= jend; ++j) {
            double sum = 0.0;
            for (int32_t k = std::max(0, j - m); k < i; ++k) sum += at(i, k) * at(k, j);
            at(i, j) -= sum;
        }
        if (i == n - 1) break;
        const double pivot = at(i, i);
        if (!(std::fabs(pivot) > kPivot)) return MTH_SINGULAREQS;
        for (int32_t r = i + 1; r <= jend; ++r) {
            double sum = 0.0;
            for (int32_t k = std::max(0, r - m); k < i; ++k) sum += at(r, k) * at(k, i);
            at(r, i) = (at(r, i) - sum) / pivot;
        }
    }
    return std::fabs(at(n - 1, n - 1)) > kPivot ? 0 : MTH_SINGULAREQS;
}

extern "C" int32_t mth_LuDecomposeBanded(uint32_t /*reserved*/, double* band, int32_t n,
                                         int32_t m) {
    return mthi::LuDecomposeBanded(band, n, m);
}
