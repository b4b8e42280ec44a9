#include "mth/mth_int.h"

extern "C" int32_t mth__FullMatrixToBanded(uint32_t /*reserved*/, const double* a, int32_t lda,
                                           int32_t n, int32_t* m, double** out) {
    return mthi::FullMatrixToBanded(a, lda, n, m, out);
}
