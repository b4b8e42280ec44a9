#include "mth/mth_int.h"

extern "C" int32_t mth_GetAngleSinCos(double angle, double* sine, double* cosine) {
    mthi::SinCos(angle, *sine, *cosine);
    return 0;
}
