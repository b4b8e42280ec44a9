#include "mth/mth_int.h"

extern "C" int32_t mth_LeastSquaresLine2D(uint32_t option, const double* points, int32_t count,
                                          int32_t stride, double tolerance, double* start,
                                          double* end) {
    if (count < 2 || stride < 2) return 1;
    auto pt = [points, stride](int32_t i) { return points + static_cast<std::ptrdiff_t>(i) * stride; };
    if (count == 2) {
        const double* p = pt(0);
        const double* q = pt(1);
        if (std::hypot(q[0] - p[0], q[1] - p[1]) <= tolerance) return 1;
        start[0] = p[0], start[1] = p[1];
        end[0] = q[0], end[1] = q[1];
    } else {
        double sx = 0, sy = 0, sxx = 0, sxy = 0, syy = 0;
        double minx = HUGE_VAL, maxx = -HUGE_VAL, miny = HUGE_VAL, maxy = -HUGE_VAL;
        for (int32_t i = 0; i < count; ++i) {
            const double x = pt(i)[0], y = pt(i)[1];
            sx += x, sy += y, sxx += x * x, sxy += x * y, syy += y * y;
            minx = std::fmin(minx, x), maxx = std::fmax(maxx, x);
            miny = std::fmin(miny, y), maxy = std::fmax(maxy, y);
        }
        const double n = count, dx = n * sxx - sx * sx, dy = n * syy - sy * sy;
        if (!(std::fabs(dx) > tolerance) && !(std::fabs(dy) > tolerance)) return 1;
        if (std::fabs(dx) > std::fabs(dy)) { // y = m x + k
            const double m = (n * sxy - sx * sy) / dx, k = (sxx * sy - sx * sxy) / dx;
            start[0] = minx, start[1] = m * minx + k;
            end[0] = maxx, end[1] = m * maxx + k;
        } else { // x = m y + k
            const double m = (n * sxy - sx * sy) / dy, k = (syy * sx - sy * sxy) / dy;
            start[0] = m * miny + k, start[1] = miny;
            end[0] = m * maxy + k, end[1] = maxy;
        }
    }
    if (option & 2u) end[0] -= start[0], end[1] -= start[1];
    return 0;
}
