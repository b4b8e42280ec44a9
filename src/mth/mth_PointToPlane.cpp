#include "mth/mth_int.h"

extern "C" int32_t mth_PointToPlane(uint32_t /*reserved*/, const double* point, const double* plane,
                                    double* out) {
    const double nn = mthi::Dot3(plane, plane);
    if (!(nn >= mthi::kZero)) {
        for (int i = 0; i < 3; ++i)
            out[i] = point[i];
        return MTH_SMALL_DIVISOR;
    }
    const double f = (mthi::Dot3(plane, point) - plane[3]) / nn;
    for (int i = 0; i < 3; ++i)
        out[i] = point[i] - f * plane[i];
    return 0;
}
