#include "mth/mth_int.h"

extern "C" int32_t mth_CheckDirColin(int32_t n, double tolerance, const double* p,
                                     const double* q, const double* r) {
    // u = p - q and v = q - r, accumulated without temporaries so that any
    // dimension works.
    double uu = 0.0, vv = 0.0, uv = 0.0;
    for (int32_t i = 0; i < n; ++i) {
        const double u = p[i] - q[i], v = q[i] - r[i];
        uu += u * u;
        vv += v * v;
        uv += u * v;
    }
    if (uu < mthi::kZero || vv < mthi::kZero) return 1;
    return 1.0 - uv / (std::sqrt(uu) * std::sqrt(vv)) <= tolerance ? 1 : 0;
}
