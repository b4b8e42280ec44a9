#include "mth/mth_int.h"

extern "C" int32_t mth_SolveTwoLinearEqs(const double* m, const double* rhs, double tolerance,
                                         double* out) {
    const double a = m[0], b = m[1], c = m[2], d = m[3], e = rhs[0], f = rhs[1];
    double x, y;
    if (std::fabs(a) > tolerance) {
        const double r = c / a, dd = d - r * b;
        if (!(std::fabs(dd) > tolerance)) return MTH_SINGULAREQS;
        y = (f - r * e) / dd;
        x = (e - b * y) / a;
    } else {
        if (!(std::fabs(b) > tolerance) || !(std::fabs(c) > tolerance)) return MTH_SINGULAREQS;
        y = e / b;
        x = (f - d * y) / c;
    }
    out[0] = x, out[1] = y;
    return 0;
}
