/* Shared by the rotation and translation about an axis: conjugates a local
 * motion about the z axis of the frame at `point` whose z is `axis`. */
#ifndef MVX_MTH_MOTION_H
#define MVX_MTH_MOTION_H

#include "mth/mth_int.h"

namespace mthi {

inline int32_t AboutAxis(uint32_t option, const double* point, const double* axis,
                         const double* motion, double* out) {
    double u[3], p1[3], p2[3];
    if (int32_t status = Unitize(3, axis, u); status != 0) return status;
    if (int32_t status = PerpAxes(u, p1, p2); status != 0) return status;
    double l[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, inv[16], t[16], r[16];
    for (int i = 0; i < 3; ++i) {
        l[i * 4 + 0] = p1[i];
        l[i * 4 + 1] = p2[i];
        l[i * 4 + 2] = u[i];
        l[i * 4 + 3] = point[i];
    }
    if (int32_t status = Inverse(4, l, inv); status != 0) return status;
    Product4(l, motion, t);
    Product4(t, inv, r);
    Store34or44(option, r, out);
    return 0;
}

} // namespace mthi

#endif
