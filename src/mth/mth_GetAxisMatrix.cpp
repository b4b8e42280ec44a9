#include "mth/mth_int.h"

extern "C" int32_t mth_GetAxisMatrix(const double* axis, double angle, double* out) {
    double u[3];
    if (mthi::Unitize(3, axis, u) != 0) {
        for (int i = 0; i < 9; ++i) out[i] = i % 4 == 0 ? 1.0 : 0.0;
        return MTH_SHORT_VECTOR;
    }
    double s, c;
    mthi::SinCos(angle, s, c);
    const double t = 1.0 - c;
    const double x = u[0], y = u[1], z = u[2];
    out[0] = x * x + c * (1.0 - x * x);
    out[1] = x * y * t - z * s;
    out[2] = x * z * t + y * s;
    out[3] = x * y * t + z * s;
    out[4] = y * y + c * (1.0 - y * y);
    out[5] = y * z * t - x * s;
    out[6] = x * z * t - y * s;
    out[7] = y * z * t + x * s;
    out[8] = z * z + c * (1.0 - z * z);
    return 0;
}
