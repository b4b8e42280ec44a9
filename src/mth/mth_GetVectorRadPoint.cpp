#include "mth/mth_int.h"

extern "C" int32_t mth_GetVectorRadPoint(const double* origin, const double* axis,
                                         const double* q, double* radius, double* foot) {
    const double w[3] = {q[0] - origin[0], q[1] - origin[1], q[2] - origin[2]};
    const double t = mthi::Dot3(w, axis);
    double f[3];
    for (int i = 0; i < 3; ++i) f[i] = origin[i] + t * axis[i];
    *radius = std::sqrt(mthi::SquaredDistance(3, q, f));
    foot[0] = f[0], foot[1] = f[1], foot[2] = f[2];
    return 0;
}
