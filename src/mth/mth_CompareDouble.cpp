#include "mth/mth_int.h"

extern "C" uint32_t mth_CompareDouble(int32_t n, const double* a, const double* b) {
    for (int32_t i = 0; i < n; ++i)
        if (!(std::fabs(a[i] - b[i]) <= mthi::kZero)) return static_cast<uint32_t>(i);
    return 0xFFFFFFFFu;
}
