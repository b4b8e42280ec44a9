#include "mth/mth_int.h"

extern "C" int32_t mth_PointsCollinear(const double* points, int32_t count, int32_t n,
                                       int32_t /*ignored*/, double tolerance) {
    for (int32_t i = 0; i + 2 < count; ++i) {
        const double* p = points + static_cast<std::ptrdiff_t>(i) * n;
        if (!mth_CheckDirColin(n, tolerance, p, p + n, p + 2 * n)) return 0;
    }
    return 1;
}
