#include "mth/mth_int.h"

extern "C" int32_t mth_OffsetPointAlongAxis(uint32_t /*reserved*/, const double* point,
                                            double distance, const double* axis, double* out) {
    double u[3];
    if (int32_t status = mthi::Unitize(3, axis, u); status != 0) return status;
    for (int i = 0; i < 3; ++i) out[i] = point[i] + distance * u[i];
    return 0;
}
