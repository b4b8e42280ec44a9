#include "mth/mth_int.h"

extern "C" int32_t mth_GetAngle2DPoint(uint32_t /*reserved*/, const double* point, double* angle,
                                       int32_t* flag) {
    const double x = point[0], y = point[1];
    if (std::fabs(x) >= mthi::kZero) {
        double a = std::atan(y / x);
        if (x <= 0.0)
            a += mthi::kPi;
        else if (y < 0.0)
            a += mthi::kTwoPi;
        *angle = a;
    } else if (std::fabs(y) >= mthi::kZero) {
        *angle = y > 0.0 ? mthi::kPi / 2 : 3 * mthi::kPi / 2;
    } else {
        *flag = 2; // at the origin, or NaN: no angle
        return 0;
    }
    *flag = 1;
    return 0;
}
