#include "mth/mth_int.h"

extern "C" int32_t mth_MakeVector(int32_t n, const double* a, const double* b, double* out) {
    for (int32_t i = 0; i < n; ++i) out[i] = b[i] - a[i];
    return 0;
}
