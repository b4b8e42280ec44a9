#include "mth/mth_int.h"

extern "C" int32_t mth_PointIn3PtPlane(const double* p0, const double* p1, const double* p2,
                                       const double* q, double tolerance) {
    const double u[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
    const double v[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
    double c[3];
    mthi::Cross3(u, v, c);
    const double length = std::sqrt(mthi::Dot3(c, c));
    if (length <= tolerance || length == 0.0) return -1;
    const double w[3] = {q[0] - p0[0], q[1] - p0[1], q[2] - p0[2]};
    return std::fabs(mthi::Dot3(w, c)) / length <= tolerance ? 1 : 0;
}
