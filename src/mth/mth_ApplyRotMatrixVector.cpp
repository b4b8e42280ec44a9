#include "mth/mth_int.h"

extern "C" int32_t mth_ApplyRotMatrixVector(uint32_t option, const double* r, const double* v,
                                            double* out) {
    double t[3];
    if (option & 0x8u) {
        for (int i = 0; i < 3; ++i) t[i] = r[i] * v[0] + r[3 + i] * v[1] + r[6 + i] * v[2];
    } else {
        for (int i = 0; i < 3; ++i) t[i] = r[3 * i] * v[0] + r[3 * i + 1] * v[1] + r[3 * i + 2] * v[2];
    }
    out[0] = t[0], out[1] = t[1], out[2] = t[2];
    return 0;
}
