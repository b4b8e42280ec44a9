#include "mth/mth_int.h"

extern "C" int32_t mth_PointForceInBounds2D(uint32_t /*reserved*/, double* point,
                                            const double* bounds) {
    for (int k = 0; k < 2; ++k) {
        if (point[k] < bounds[2 * k]) point[k] = bounds[2 * k];
        if (point[k] > bounds[2 * k + 1]) point[k] = bounds[2 * k + 1];
    }
    return 0;
}
