#include "mth/mth_int.h"

int32_t mthi::PerpAxes(const double* axis, double* out1, double* out2) {
    int b = 0;
    for (int i = 1; i < 3; ++i)
        if (std::fabs(axis[i]) > std::fabs(axis[b])) b = i;
    if (!(std::fabs(axis[b]) > kZero)) { // no direction (or NaN): the x and y axes
        out1[0] = 1, out1[1] = 0, out1[2] = 0;
        out2[0] = 0, out2[1] = 1, out2[2] = 0;
        return MTH_SHORT_VECTOR;
    }
    const int a = b == 1 ? 0 : 1, z = b == 2 ? 0 : 2;
    const double r = axis[a] / axis[b];
    double p[3];
    p[z] = 0.0;
    p[a] = 1.0 / std::sqrt(1.0 + r * r);
    p[b] = -p[a] * r;
    double c[3];
    Cross3(axis, p, c);
    out1[0] = p[0], out1[1] = p[1], out1[2] = p[2];
    return Unitize(3, c, out2);
}

extern "C" int32_t mth_FindTwoPerpAxesToAxis(uint32_t /*reserved*/, const double* axis,
                                             double* out1, double* out2) {
    return mthi::PerpAxes(axis, out1, out2);
}
