/* Shared by the plane and circle fits: three well-spread points of a set,
 * chosen in two linear passes. */
#ifndef MVX_MTH_FIT_H
#define MVX_MTH_FIT_H

#include "mth/mth_int.h"

namespace mthi {

/* The first point a, the point b farthest from it (the first on ties), and
 * the point c farthest from the line a-b, returned as indexes with the
 * normal w = (b - a) x (c - a) of their plane. get(i, p) stores point i as
 * 3 doubles. Points with a NaN distance are never chosen. Returns false
 * when c lies within tolerance of the line (the points are collinear or
 * coincident) or w is zero or not finite. */
template <typename Get>
bool SpreadTriple(int32_t count, double tolerance, Get get, int32_t& ib, int32_t& ic, double* w) {
    double a[3], p[3], u[3], v[3];
    get(0, a);
    ib = 0;
    double best = 0.0;
    for (int32_t i = 1; i < count; ++i) {
        get(i, p);
        const double d = SquaredDistance(3, a, p);
        if (d > best) best = d, ib = i;
    }
    if (ib == 0) return false;
    double b[3];
    get(ib, b);
    for (int k = 0; k < 3; ++k)
        u[k] = b[k] - a[k];
    ic = 0;
    best = 0.0;
    for (int32_t i = 1; i < count; ++i) {
        get(i, p);
        for (int k = 0; k < 3; ++k)
            v[k] = p[k] - a[k];
        double c[3];
        Cross3(u, v, c);
        const double d = Dot3(c, c);
        if (d > best) best = d, ic = i;
    }
    if (ic == 0) return false;
    get(ic, p);
    for (int k = 0; k < 3; ++k)
        v[k] = p[k] - a[k];
    Cross3(u, v, w);
    const double ww = Dot3(w, w);
    // |w| / |u| is the distance of c from the line a-b.
    return ww > 0.0 && std::isfinite(ww) && !(std::sqrt(ww / Dot3(u, u)) <= tolerance);
}

} // namespace mthi

#endif
