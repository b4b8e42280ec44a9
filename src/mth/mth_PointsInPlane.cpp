#include "mth/mth_fit.h"

extern "C" int32_t mth_PointsInPlane(uint32_t option, const double* points, int32_t count,
                                     double tolerance, int32_t* planar, double* plane) {
    *planar = 0;
    if (count < 3) return mthi::Fail(MTH_COLINEARPLANEPNTS);
    auto get = [points](int32_t i, double* p) {
        const double* q = points + static_cast<std::ptrdiff_t>(i) * 3;
        p[0] = q[0], p[1] = q[1], p[2] = q[2];
    };
    int32_t ib = 0, ic = 0;
    double w[3], n[3];
    if (!mthi::SpreadTriple(count, tolerance, get, ib, ic, w) || mthi::Unitize(3, w, n) != 0 ||
        !std::isfinite(n[0] + n[1] + n[2]))
        return mthi::Fail(MTH_COLINEARPLANEPNTS);
    // Through the first point, or with bit 0 through the mean of them all.
    double origin[3] = {points[0], points[1], points[2]};
    if (option & 1u) {
        origin[0] = origin[1] = origin[2] = 0.0;
        for (int32_t i = 0; i < count; ++i)
            for (int k = 0; k < 3; ++k)
                origin[k] += points[static_cast<std::ptrdiff_t>(i) * 3 + k];
        for (int k = 0; k < 3; ++k)
            origin[k] /= count;
    }
    const double d = mthi::Dot3(n, origin);
    int32_t all = 1;
    for (int32_t i = 0; i < count && all; ++i)
        if (!(std::fabs(mthi::Dot3(n, points + static_cast<std::ptrdiff_t>(i) * 3) - d) <=
              tolerance))
            all = 0;
    plane[0] = n[0], plane[1] = n[1], plane[2] = n[2], plane[3] = d;
    *planar = all;
    return 0;
}
