#include "mth/mth_int.h"

extern "C" int32_t mth_GetPlanePntMatrix(const double* p0, const double* p1, const double* p2,
                                         double* out) {
    const double a[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
    const double b[3] = {p1[0] - p2[0], p1[1] - p2[1], p1[2] - p2[2]};
    double c[3], d[3], col[3][3];
    mthi::Cross3(a, b, c);
    mthi::Cross3(c, a, d);
    // Every column is written; the first failing unitize is reported.
    int32_t status = mthi::Unitize(3, a, col[0]);
    const int32_t s2 = mthi::Unitize(3, d, col[1]);
    const int32_t s3 = mthi::Unitize(3, c, col[2]);
    if (status == 0) status = s2 != 0 ? s2 : s3;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) out[i * 3 + j] = col[j][i];
    return status;
}
