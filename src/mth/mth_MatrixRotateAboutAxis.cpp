#include "mth/mth_motion.h"

extern "C" int32_t mth_MatrixRotateAboutAxis(uint32_t option, const double* point,
                                             const double* axis, double angle, double* out) {
    double s, c;
    mthi::SinCos(angle, s, c);
    const double motion[16] = {c, -s, 0, 0, s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    return mthi::AboutAxis(option, point, axis, motion, out);
}
