#include "mth/mth_int.h"

extern "C" int32_t mth_AveragePoints(uint32_t /*reserved*/, int32_t n, int32_t count,
                                     const double* points, double* out) {
    if (count < 1) return mthi::Fail(MTH_INVALID_RANGE);
    for (int32_t j = 0; j < n; ++j) {
        double sum = 0.0;
        for (int32_t i = 0; i < count; ++i) sum += points[static_cast<std::ptrdiff_t>(i) * n + j];
        out[j] = sum / count;
    }
    return 0;
}
