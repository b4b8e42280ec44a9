#include "mth/mth_int.h"

extern "C" int32_t mth_GetRotMatrixFromPnts(int32_t count, const double* points, double* out) {
    // The first point, the first one distinct from it, and the first one
    // after that which leaves the line of the two.
    int32_t second = 1;
    while (second < count && mth_CheckCoinPoint(3, points, points + 3 * second)) ++second;
    for (int32_t third = second + 1; third < count; ++third) {
        const double* p = points + 3 * static_cast<std::ptrdiff_t>(third);
        const double* q = points + 3 * static_cast<std::ptrdiff_t>(second);
        const double a[3] = {q[0] - points[0], q[1] - points[1], q[2] - points[2]};
        const double b[3] = {p[0] - points[0], p[1] - points[1], p[2] - points[2]};
        double c[3];
        mthi::Cross3(a, b, c);
        if (std::sqrt(mthi::Dot3(c, c)) > mthi::kZero)
            return mth_GetPntPlaneMatrix(1, points, q, p, out);
    }
    return mthi::Fail(MTH_COLINEARPLANEPNTS);
}
