#include "mth/mth_int.h"

extern "C" int32_t mth_CompareVector(int32_t n, const double* a, const double* b,
                                     double tolerance) {
    const double s = std::fmax(std::sqrt(mthi::Dot(n, a, a)), std::sqrt(mthi::Dot(n, b, b)));
    // Vectors too small to compare relatively are equal.
    if (!(s > tolerance) || !(s > mthi::kZero)) return 1;
    return std::sqrt(mthi::SquaredDistance(n, a, b)) / s <= tolerance ? 1 : 0;
}
