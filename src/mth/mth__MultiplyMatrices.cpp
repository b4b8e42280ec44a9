#include "mth/mth_int.h"

extern "C" int32_t mth__MultiplyMatrices(uint32_t /*reserved*/, const double* a, int32_t lda,
                                         int32_t ra, int32_t ca, int32_t ta, const double* b,
                                         int32_t ldb, int32_t rb, int32_t cb, int32_t tb,
                                         double* c, int32_t ldc) {
    return mthi::MultiplyMatrices(a, lda, ra, ca, ta, b, ldb, rb, cb, tb, c, ldc);
}
