#include "mth/mth_int.h"

extern "C" int32_t mth_MultiplyVector(int32_t n, const double* a, double s, double* out) {
    for (int32_t i = 0; i < n; ++i) out[i] = s * a[i];
    return 0;
}
