#include "mth/mth_int.h"

namespace {

// Whether the two values match the two corners lo and hi, in either order.
bool Spans(double a, double b, double lo, double hi, double t) {
    return (std::fabs(a - lo) <= t && std::fabs(b - hi) <= t) ||
           (std::fabs(a - hi) <= t && std::fabs(b - lo) <= t);
}

} // namespace

extern "C" int32_t mth_PointsOnBounds(const double* segment, const double* bounds,
                                      double tolerance, int32_t* side, int32_t* direction,
                                      int32_t* partial) {
    const double* p = segment;
    const double* q = segment + 3;
    const double dx = q[0] - p[0], dy = q[1] - p[1], t = tolerance;
    const double adx = std::fabs(dx), ady = std::fabs(dy), kTan30 = 0.5773502691896257;
    const bool vertical = adx < t && ady > adx, horizontal = ady < t;
    const bool test_vertical = vertical || (horizontal && ady > adx * kTan30);
    const bool test_horizontal = horizontal || (vertical && adx > ady * kTan30);
    *side = 0, *direction = 0, *partial = 1;
    if (test_vertical && std::fabs(p[0] - bounds[0]) <= t)
        *side = 1;
    else if (test_vertical && std::fabs(p[0] - bounds[1]) <= t)
        *side = 3;
    else if (test_horizontal && std::fabs(p[1] - bounds[2]) <= t)
        *side = 4;
    else if (test_horizontal && std::fabs(p[1] - bounds[3]) <= t)
        *side = 2;
    if (*side == 1 || *side == 3) {
        *direction = dy > 0 ? 1 : 2;
        if (Spans(p[1], q[1], bounds[2], bounds[3], t)) *partial = 0;
    } else if (*side == 2 || *side == 4) {
        *direction = dx > 0 ? 1 : 2;
        if (Spans(p[0], q[0], bounds[0], bounds[1], t)) *partial = 0;
    }
    return 0;
}
