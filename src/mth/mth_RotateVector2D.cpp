#include "mth/mth_int.h"

extern "C" int32_t mth_RotateVector2D(double angle, const double* vector, double* out) {
    double s, c;
    mthi::SinCos(angle, s, c);
    const double x = vector[0], y = vector[1];
    out[0] = x * c - y * s;
    out[1] = x * s + y * c;
    return 0;
}
