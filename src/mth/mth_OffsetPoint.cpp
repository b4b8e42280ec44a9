#include "mth/mth_int.h"

extern "C" int32_t mth_OffsetPoint(const double* point, double angle, double distance,
                                   double* out) {
    double s, c;
    mthi::SinCos(angle, s, c);
    const double x = point[0] + distance * c, y = point[1] + distance * s, z = point[2];
    out[0] = x, out[1] = y, out[2] = z;
    return 0;
}
