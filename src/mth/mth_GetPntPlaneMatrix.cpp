#include "mth/mth_int.h"

namespace {

bool Same(double a, double b, double c) {
    return std::fabs(a - b) <= mthi::kZero && std::fabs(a - c) <= mthi::kZero;
}

} // namespace

extern "C" int32_t mth_GetPntPlaneMatrix(uint32_t option, const double* p0, const double* p1,
                                         const double* p2, double* out) {
    if (option == 0) return mth_GetPlanePntMatrix(p0, p1, p2, out);
    double m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    if (Same(p0[2], p1[2], p2[2])) {
    } else if (Same(p0[1], p1[1], p2[1])) {
        m[4] = 0, m[8] = 0, m[5] = p0[1] < 0 ? -1 : 1, m[7] = 1;
    } else if (Same(p0[0], p1[0], p2[0])) {
        m[0] = 0, m[8] = 0, m[2] = p0[0] < 0 ? -1 : 1, m[6] = 1;
    } else {
        return mth_GetPlanePntMatrix(p0, p1, p2, out);
    }
    for (int i = 0; i < 9; ++i) out[i] = m[i];
    return 0;
}
