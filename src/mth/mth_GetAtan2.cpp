#include "mth/mth_int.h"

extern "C" double mth_GetAtan2(double y, double x) {
    if (y == 0.0 && x == 0.0) return 0.0;
    double a = std::atan2(y, x);
    if (a < 0.0) a += mthi::kTwoPi;
    return a;
}
