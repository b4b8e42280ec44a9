#include <algorithm>

#include "mth/mth_int.h"

int32_t mthi::ForBackSubstitution(const double* band, int32_t n, int32_t m, double* b,
                                  double* x) {
    if (m < 1 || n < 0) return Fail(MTH_INVALID_RANGE);
    if (n == 0) return 0;
    const std::ptrdiff_t w = 2 * static_cast<std::ptrdiff_t>(m) + 1;
    auto at = [band, w, m](int32_t i, int32_t j) { return band[i * w + m + (j - i)]; };
    for (int32_t i = 1; i < n; ++i) { // forward, in place: b becomes y
        double sum = 0.0;
        for (int32_t k = std::max(0, i - m); k < i; ++k) sum += at(i, k) * b[k];
        b[i] -= sum;
    }
    for (int32_t i = n - 1; i >= 0; --i) {
        double sum = 0.0;
        const int32_t kend = std::min(i + m, n - 1);
        for (int32_t k = i + 1; k <= kend; ++k) sum += at(i, k) * x[k];
        x[i] = (b[i] - sum) / at(i, i);
    }
    return 0;
}

extern "C" int32_t mth_ForBackSubstitution(uint32_t /*reserved*/, const double* band, int32_t n,
                                           int32_t m, double* b, double* x) {
    return mthi::ForBackSubstitution(band, n, m, b, x);
}
