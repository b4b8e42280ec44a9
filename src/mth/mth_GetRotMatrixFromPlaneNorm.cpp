#include "mth/mth_int.h"

extern "C" int32_t mth_GetRotMatrixFromPlaneNorm(const double* normal, double* out) {
    double n[3], r1[3], r0[3];
    if (int32_t status = mthi::Unitize(3, normal, n); status != 0) return status;
    const double helper[3] = {0, 0, 1.0 - std::fabs(n[0]) <= mthi::kZero ? 1.0 : 0.0};
    const double x_axis[3] = {1, 0, 0};
    mthi::Cross3(n, helper[2] != 0.0 ? helper : x_axis, r1);
    mthi::Cross3(r1, n, r0);
    mthi::Unitize(3, r0, out);
    mthi::Unitize(3, r1, out + 3);
    out[6] = n[0], out[7] = n[1], out[8] = n[2];
    return 0;
}
