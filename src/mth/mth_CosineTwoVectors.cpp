#include "mth/mth_int.h"

extern "C" double mth_CosineTwoVectors(const double* a, const double* b, int32_t n) {
    const double la = std::sqrt(mthi::Dot(n, a, a)), lb = std::sqrt(mthi::Dot(n, b, b));
    if (la == 0.0 || lb == 0.0) return 0.0;
    const double c = mthi::Dot(n, a, b) / (la * lb);
    if (c > 1.0) return 1.0;
    if (c < -1.0) return -1.0;
    return c; // NaN input stays NaN
}
