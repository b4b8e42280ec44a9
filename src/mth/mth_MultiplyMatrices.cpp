#include "mth/mth_int.h"

int32_t mthi::MultiplyMatrices(const double* a, int32_t lda, int32_t ra, int32_t ca, int32_t ta,
                               const double* b, int32_t ldb, int32_t rb, int32_t cb, int32_t tb,
                               double* c, int32_t ldc) {
    // Shapes of op(A) (rows x inner) and op(B) (inner2 x columns).
    const int32_t rows = ta ? ca : ra, inner = ta ? ra : ca;
    const int32_t inner2 = tb ? cb : rb, columns = tb ? rb : cb;
    if (ra < 0 || ca < 0 || rb < 0 || cb < 0 || inner != inner2 || lda < ca || ldb < cb ||
        ldc < columns)
        return Fail(MTH_INVALID_RANGE);
    for (int32_t i = 0; i < rows; ++i)
        for (int32_t j = 0; j < columns; ++j) {
            double sum = 0.0;
            for (int32_t k = 0; k < inner; ++k) {
                const double x = ta ? a[static_cast<std::ptrdiff_t>(k) * lda + i]
                                    : a[static_cast<std::ptrdiff_t>(i) * lda + k];
                const double y = tb ? b[static_cast<std::ptrdiff_t>(j) * ldb + k]
                                    : b[static_cast<std::ptrdiff_t>(k) * ldb + j];
                sum += x * y;
            }
            c[static_cast<std::ptrdiff_t>(i) * ldc + j] = sum;
        }
    return 0;
}

extern "C" int32_t mth_MultiplyMatrices(uint32_t /*reserved*/, const double* a, int32_t lda,
                                        int32_t ra, int32_t ca, int32_t ta, const double* b,
                                        int32_t ldb, int32_t rb, int32_t cb, int32_t tb,
                                        double* c, int32_t ldc) {
    return mthi::MultiplyMatrices(a, lda, ra, ca, ta, b, ldb, rb, cb, tb, c, ldc);
}
