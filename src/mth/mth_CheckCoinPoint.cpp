#include "mth/mth_int.h"

extern "C" int32_t mth_CheckCoinPoint(int32_t n, const double* p, const double* q) {
    for (int32_t i = 0; i < n; ++i)
        if (!(std::fabs(p[i] - q[i]) <= mthi::kZero)) return 0;
    return 1;
}
