#include "mth/mth_int.h"

extern "C" int32_t mth_PointToLine(uint32_t option, const double* a, const double* b,
                                   const double* q, double* foot, double* parameter) {
    double d[3];
    for (int i = 0; i < 3; ++i) d[i] = (option & 2u) ? b[i] : b[i] - a[i];
    const double dd = mthi::Dot3(d, d);
    if (!(dd > 0.0)) { // zero (or NaN) direction: no line
        foot[0] = a[0], foot[1] = a[1], foot[2] = a[2];
        *parameter = 0.0;
        return MTH_DEGENERATE_LINE;
    }
    const double w[3] = {q[0] - a[0], q[1] - a[1], q[2] - a[2]};
    double t = mthi::Dot3(w, d) / dd;
    if (std::fabs(t) <= mthi::kZero)
        t = 0.0;
    else if (option == 0 && std::fabs(t - 1.0) <= mthi::kZero)
        t = 1.0;
    for (int i = 0; i < 3; ++i) foot[i] = a[i] + t * d[i];
    *parameter = t;
    return 0;
}
