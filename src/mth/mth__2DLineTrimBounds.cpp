#include "mth/mth_int.h"

extern "C" int32_t mth__2DLineTrimBounds(uint32_t /*reserved*/, double* p1, double* p2,
                                         const double* bounds) {
    // Bounds in the order minimum x, maximum x, minimum y, maximum y.
    for (int k = 0; k < 4; ++k) {
        const int c = k / 2, o = 1 - c; // clipped and other coordinate
        const double bound = bounds[k];
        auto beyond = [k, bound](const double* p, int axis) {
            return k % 2 == 0 ? p[axis] < bound : p[axis] > bound;
        };
        for (int e = 0; e < 2; ++e) {
            double* out = e == 0 ? p1 : p2;
            const double* in = e == 0 ? p2 : p1;
            if (!beyond(out, c) || beyond(in, c)) continue;
            if (std::fabs(out[o] - in[o]) > mthi::kZero)
                out[o] += (bound - out[c]) / (in[c] - out[c]) * (in[o] - out[o]);
            out[c] = bound;
        }
    }
    return 0;
}
