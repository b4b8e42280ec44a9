#include "mth/mth_int.h"

extern "C" int32_t mth__ForBackSubstitution(uint32_t /*reserved*/, const double* band,
                                            int32_t n, int32_t m, double* b, double* x) {
    return mthi::ForBackSubstitution(band, n, m, b, x);
}
