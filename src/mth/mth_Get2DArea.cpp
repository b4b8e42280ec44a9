#include "mth/mth_int.h"

extern "C" double mth_Get2DArea(int32_t count, int32_t stride, const double* points) {
    if (count < 3 || stride < 2) return 0.0;
    // The shoelace sum about the first point, which keeps the products
    // small for a polygon far from the origin; the two terms with the first
    // point vanish.
    auto at = [points, stride](int32_t i) {
        return points + static_cast<std::ptrdiff_t>(i) * stride;
    };
    const double x0 = points[0], y0 = points[1];
    double sum = 0.0;
    for (int32_t i = 1; i + 1 < count; ++i) {
        const double* p = at(i);
        const double* q = at(i + 1);
        sum += (p[0] - x0) * (q[1] - y0) - (q[0] - x0) * (p[1] - y0);
    }
    return sum / 2;
}
