#include "mth/mth_int.h"

extern "C" int32_t mth_FindMinMaxCoord(uint32_t option, int32_t n, int32_t count,
                                       const double* points, double* min, double* max) {
    if (option == 0)
        for (int32_t j = 0; j < n; ++j) min[j] = HUGE_VAL, max[j] = -HUGE_VAL;
    for (int32_t i = 0; i < count; ++i) {
        const double* p = points + static_cast<std::ptrdiff_t>(i) * n;
        for (int32_t j = 0; j < n; ++j) {
            // fmin and fmax pass over a NaN coordinate.
            min[j] = std::fmin(min[j], p[j]);
            max[j] = std::fmax(max[j], p[j]);
        }
    }
    return 0;
}
