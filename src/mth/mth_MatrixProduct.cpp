#include "mth/mth_int.h"

extern "C" int32_t mth_MatrixProduct(uint32_t /*reserved*/, int32_t r, int32_t k, int32_t c,
                                     const double* a, const double* b, double* out) {
    if (r < 1 || c < 1) return 0;
    if (r == 4 && k == 4 && c == 4) { // the common case, unrolled by the compiler
        mthi::Product4(a, b, out);
        return 0;
    }
    for (int32_t i = 0; i < r; ++i) {
        double* row = out + static_cast<std::ptrdiff_t>(i) * c;
        for (int32_t j = 0; j < c; ++j) row[j] = 0.0;
        for (int32_t m = 0; m < k; ++m) {
            const double f = a[static_cast<std::ptrdiff_t>(i) * k + m];
            const double* brow = b + static_cast<std::ptrdiff_t>(m) * c;
            for (int32_t j = 0; j < c; ++j) row[j] += f * brow[j];
        }
    }
    return 0;
}
