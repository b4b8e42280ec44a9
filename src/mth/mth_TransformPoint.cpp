#include "mth/mth_int.h"

extern "C" int32_t mth_TransformPoint(uint32_t /*reserved*/, const double* p, const double* m,
                                      double* out) {
    const double x = p[0], y = p[1], z = p[2];
    const double t0 = m[0] * x + m[1] * y + m[2] * z + m[3];
    const double t1 = m[4] * x + m[5] * y + m[6] * z + m[7];
    const double t2 = m[8] * x + m[9] * y + m[10] * z + m[11];
    out[0] = t0, out[1] = t1, out[2] = t2;
    return 0;
}
