#include "mth/mth_int.h"

extern "C" int32_t mth__LuDecomposeBanded(uint32_t /*reserved*/, double* band, int32_t n,
                                          int32_t m) {
    return mthi::LuDecomposeBanded(band, n, m);
}
