#include "mth/mth_motion.h"

extern "C" int32_t mth_MatrixTranslateAlongAxis(uint32_t option, const double* point,
                                                const double* axis, double distance,
                                                double* out) {
    const double motion[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, distance, 0, 0, 0, 1};
    return mthi::AboutAxis(option, point, axis, motion, out);
}
