#include "mth/mth_int.h"

extern "C" int32_t mth_CheckColin(int32_t n, double tolerance, const double* p, const double* q,
                                  const double* r) {
    double area;
    if (n == 2) {
        area = 0.5 * std::fabs((q[0] - p[0]) * (r[1] - p[1]) - (q[1] - p[1]) * (r[0] - p[0]));
    } else if (n == 3) {
        const double u[3] = {q[0] - p[0], q[1] - p[1], q[2] - p[2]};
        const double v[3] = {r[0] - p[0], r[1] - p[1], r[2] - p[2]};
        double c[3];
        mthi::Cross3(u, v, c);
        area = 0.5 * std::sqrt(mthi::Dot3(c, c));
    } else {
        return 0;
    }
    return area <= tolerance ? 1 : 0;
}
