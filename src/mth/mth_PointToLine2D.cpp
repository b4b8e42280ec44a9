#include "mth/mth_int.h"

extern "C" int32_t mth_PointToLine2D(uint32_t option, const double* a, const double* b,
                                     const double* q, double* foot, double* parameter) {
    const double dx = (option & 2u) ? b[0] : b[0] - a[0], dy = (option & 2u) ? b[1] : b[1] - a[1];
    const double dd = dx * dx + dy * dy;
    double t = 0.0;
    if (dd > 0.0) t = ((q[0] - a[0]) * dx + (q[1] - a[1]) * dy) / dd;
    foot[0] = a[0] + t * dx;
    foot[1] = a[1] + t * dy;
    *parameter = t;
    return 0;
}
