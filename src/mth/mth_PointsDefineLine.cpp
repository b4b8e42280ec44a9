#include "mth/mth_int.h"

extern "C" int32_t mth_PointsDefineLine(const double* points, int32_t count, int32_t n,
                                        double min_length, double tolerance, int32_t* first,
                                        int32_t* last) {
    if (count < 2 || n < 1) return 0;
    auto pt = [points, n](int32_t i) { return points + static_cast<std::ptrdiff_t>(i) * n; };
    int32_t bi = -1, bj = -1;
    double best = -1.0;
    for (int32_t i = 0; i < count; ++i)
        for (int32_t j = i + 1; j < count; ++j) {
            const double d = mthi::SquaredDistance(n, pt(i), pt(j));
            if (d > best) best = d, bi = i, bj = j; // the first pair wins ties
        }
    if (bi < 0 || !(std::sqrt(best) > min_length)) return 0;
    // Distance of every point from the line through the pair, in any
    // dimension (for 2 and 3 this is the projection of mth_PointToLine2D
    // and mth_PointToLine).
    for (int32_t k = 0; k < count; ++k) {
        if (k == bi || k == bj) continue;
        double wd = 0.0;
        for (int32_t i = 0; i < n; ++i) wd += (pt(k)[i] - pt(bi)[i]) * (pt(bj)[i] - pt(bi)[i]);
        const double t = wd / best;
        double dist = 0.0;
        for (int32_t i = 0; i < n; ++i) {
            const double f = pt(bi)[i] + t * (pt(bj)[i] - pt(bi)[i]) - pt(k)[i];
            dist += f * f;
        }
        if (!(std::sqrt(dist) <= tolerance)) return 0;
    }
    *first = bi, *last = bj;
    return 1;
}
