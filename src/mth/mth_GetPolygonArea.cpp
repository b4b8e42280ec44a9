#include "mth/mth_int.h"

extern "C" double mth_GetPolygonArea(int32_t count, const double* points) {
    // The fan from the first point: triangle (p0, p[k-1], p[k]) has half the
    // length of the cross product of its two sides from p0 as its area (the
    // base p0-p[k] times the height of p[k-1] over it, with no division for
    // a base of zero length).
    double area = 0.0;
    for (int32_t k = 2; k < count; ++k) {
        const double* p = points + static_cast<std::ptrdiff_t>(k - 1) * 3;
        const double u[3] = {p[0] - points[0], p[1] - points[1], p[2] - points[2]};
        const double v[3] = {p[3] - points[0], p[4] - points[1], p[5] - points[2]};
        double c[3];
        mthi::Cross3(u, v, c);
        area += std::sqrt(mthi::Dot3(c, c)) / 2;
    }
    return area;
}
