/* Shared by the two 3D line operations: the parameters of the closest
 * points of p1 + t1 d1 and p2 + t2 d2, or false for parallel lines. */
#ifndef MVX_MTH_LINES_H
#define MVX_MTH_LINES_H

#include "mth/mth_int.h"

namespace mthi {

inline bool Parallel3D(double a, double b, double c, double tolerance) {
    return !(a > tolerance) || !(c > tolerance) || !(std::fabs(1.0 - b * b / (a * c)) > tolerance);
}

inline bool ClosestParameters(double tolerance, const double* p1, const double* d1,
                              const double* p2, const double* d2, double& t1, double& t2) {
    const double a = Dot3(d1, d1), b = Dot3(d1, d2), c = Dot3(d2, d2);
    if (Parallel3D(a, b, c, tolerance)) return false;
    const double w[3] = {p1[0] - p2[0], p1[1] - p2[1], p1[2] - p2[2]};
    const double d = Dot3(d1, w), e = Dot3(d2, w), det = a * c - b * b;
    t1 = (b * e - c * d) / det;
    t2 = (a * e - b * d) / det;
    return std::isfinite(t1) && std::isfinite(t2);
}

} // namespace mthi

#endif
