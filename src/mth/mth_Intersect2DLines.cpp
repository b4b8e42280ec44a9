#include "mth/mth_int.h"

extern "C" int32_t mth_Intersect2DLines(uint32_t option, double tolerance, const double* p1,
                                        const double* d1, const double* p2, const double* d2,
                                        double* t1, double* t2, double* point) {
    double s2, s1;
    if (std::fabs(d1[0]) > std::fabs(d1[1]) * mthi::kZero) {
        // First line as y - p1.y = r (x - p1.x); t1 from its x.
        const double r = d1[1] / d1[0], den = r * d2[0] - d2[1];
        if (!(std::fabs(den) > tolerance)) return MTH_PARALLELLINES;
        s2 = ((p2[1] - p1[1]) - r * (p2[0] - p1[0])) / den;
        s1 = (p2[0] + s2 * d2[0] - p1[0]) / d1[0];
    } else {
        // First line vertical: x = p1.x; t1 from its y.
        if (!(std::fabs(d2[0]) > tolerance) || !(std::fabs(d1[1]) > tolerance))
            return MTH_PARALLELLINES;
        s2 = (p2[0] - p1[0]) / -d2[0];
        s1 = (p2[1] + s2 * d2[1] - p1[1]) / d1[1];
    }
    // NaN or infinite input has no intersection either.
    if (!std::isfinite(s1) || !std::isfinite(s2)) return MTH_PARALLELLINES;
    if (option & 2u) {
        point[0] = p2[0] + s2 * d2[0];
        point[1] = p2[1] + s2 * d2[1];
        if (!(option & 1u)) return 0;
    }
    *t2 = s2;
    *t1 = s1;
    return 0;
}
