#include "mth/mth_int.h"

extern "C" int32_t mth_DivideVector(int32_t n, const double* a, double s, double* out) {
    // A NaN divisor fails the test as well: nothing is written.
    if (!(std::fabs(s) >= mthi::kZero)) return MTH_SMALL_DIVISOR;
    for (int32_t i = 0; i < n; ++i) out[i] = a[i] / s;
    return 0;
}
