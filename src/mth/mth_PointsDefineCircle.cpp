#include "mth/mth_fit.h"

extern "C" int32_t mth_PointsDefineCircle(const double* points, int32_t count, int32_t stride,
                                          double tolerance, int32_t* on_circle, double* centre,
                                          double* radius, double* normal) {
    *on_circle = 0;
    if (stride < 2) return mthi::Fail(MTH_INVALID_RANGE);
    if (count < 3) return mthi::Fail(MTH_COLINEARPLANEPNTS);
    // Stride 2 holds 2D points, taken at z = 0.
    auto get = [points, stride](int32_t i, double* p) {
        const double* q = points + static_cast<std::ptrdiff_t>(i) * stride;
        p[0] = q[0], p[1] = q[1], p[2] = stride > 2 ? q[2] : 0.0;
    };
    int32_t ib = 0, ic = 0;
    double w[3];
    if (!mthi::SpreadTriple(count, tolerance, get, ib, ic, w))
        return mthi::Fail(MTH_COLINEARPLANEPNTS);
    // Circumcentre of a, b, c: a + (|u|^2 (v x w) + |v|^2 (w x u)) / (2 |w|^2)
    // with u = b - a, v = c - a, w = u x v.
    double a[3], b[3], c[3], u[3], v[3], vw[3], wu[3], m[3];
    get(0, a), get(ib, b), get(ic, c);
    for (int k = 0; k < 3; ++k)
        u[k] = b[k] - a[k], v[k] = c[k] - a[k];
    mthi::Cross3(v, w, vw);
    mthi::Cross3(w, u, wu);
    const double uu = mthi::Dot3(u, u), vv = mthi::Dot3(v, v), ww = mthi::Dot3(w, w);
    for (int k = 0; k < 3; ++k)
        m[k] = a[k] + (uu * vw[k] + vv * wu[k]) / (2 * ww);
    const double r = std::sqrt(mthi::SquaredDistance(3, a, m)), lw = std::sqrt(ww);
    if (!std::isfinite(m[0] + m[1] + m[2] + r)) return mthi::Fail(MTH_SINGULAREQS);
    // Every point on the circle; the turn of the points about the centre,
    // summed along their order, orients the normal.
    int32_t all = 1;
    double turn = 0.0, last[3] = {a[0] - m[0], a[1] - m[1], a[2] - m[2]};
    for (int32_t i = 0; i < count; ++i) {
        double p[3], d[3], e[3], t[3];
        get(i, p);
        for (int k = 0; k < 3; ++k)
            d[k] = p[k] - a[k], e[k] = p[k] - m[k];
        if (!(std::fabs(mthi::Dot3(d, w)) / lw <= tolerance) ||
            !(std::fabs(std::sqrt(mthi::Dot3(e, e)) - r) <= tolerance))
            all = 0;
        mthi::Cross3(last, e, t);
        turn += mthi::Dot3(t, w);
        for (int k = 0; k < 3; ++k)
            last[k] = e[k];
    }
    for (int k = 0; k < 3; ++k)
        centre[k] = m[k];
    *radius = r;
    if (normal != nullptr)
        for (int k = 0; k < 3; ++k)
            normal[k] = (turn < 0.0 ? -w[k] : w[k]) / lw;
    *on_circle = all;
    return 0;
}
