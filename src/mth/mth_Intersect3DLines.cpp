#include "mth/mth_lines.h"

extern "C" int32_t mth_Intersect3DLines(uint32_t option, double tolerance, const double* p1,
                                        const double* d1, const double* p2, const double* d2,
                                        double* t1, double* t2, double* point) {
    double s1, s2;
    if (!mthi::ClosestParameters(tolerance, p1, d1, p2, d2, s1, s2)) return MTH_PARALLELLINES;
    if (option & 1u) *t1 = s1, *t2 = s2;
    if (option & 2u)
        for (int i = 0; i < 3; ++i) {
            const double on2 = p2[i] + s2 * d2[i];
            point[i] = (option & 4u) ? on2 : 0.5 * (p1[i] + s1 * d1[i] + on2);
        }
    return 0;
}
