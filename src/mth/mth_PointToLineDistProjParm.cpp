#include "mth/mth_int.h"

extern "C" double mth_PointToLineDistProjParm(uint32_t mode, int32_t n, const double* q,
                                              const double* a, const double* b, double* foot,
                                              double* parameter) {
    double dd = 0.0, wd = 0.0;
    for (int32_t i = 0; i < n; ++i) {
        const double d = mode == 2 ? b[i] : b[i] - a[i];
        dd += d * d;
        wd += (q[i] - a[i]) * d;
    }
    const double t = std::sqrt(dd) < mthi::kZero ? 0.0 : wd / dd;
    double dist = 0.0;
    for (int32_t i = 0; i < n; ++i) {
        const double d = mode == 2 ? b[i] : b[i] - a[i];
        foot[i] = a[i] + t * d;
        dist += (q[i] - foot[i]) * (q[i] - foot[i]);
    }
    *parameter = t;
    return std::sqrt(dist);
}
