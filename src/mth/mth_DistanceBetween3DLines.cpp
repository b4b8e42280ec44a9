#include "mth/mth_lines.h"

extern "C" int32_t mth_DistanceBetween3DLines(uint32_t /*option*/, double tolerance,
                                              const double* p1, const double* d1,
                                              const double* p2, const double* d2, double* t1,
                                              double* t2, double* distance) {
    double s1, s2;
    if (!mthi::ClosestParameters(tolerance, p1, d1, p2, d2, s1, s2)) {
        double foot[3];
        mth_PointToLine(2, p2, d2, p1, foot, &s2);
        *t1 = 0.0, *t2 = s2;
        *distance = std::sqrt(mthi::SquaredDistance(3, p1, foot));
        return MTH_PARALLELLINES;
    }
    double q1[3], q2[3];
    for (int i = 0; i < 3; ++i) q1[i] = p1[i] + s1 * d1[i], q2[i] = p2[i] + s2 * d2[i];
    *t1 = s1, *t2 = s2;
    *distance = std::sqrt(mthi::SquaredDistance(3, q1, q2));
    return 0;
}
