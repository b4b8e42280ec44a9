#include "mth/mth_loops.h"

extern "C" int32_t mth_PointInLoop(uint32_t /*reserved*/, int32_t stride, const double* point,
                                   int32_t count, const double* loop, double tolerance,
                                   int32_t* result) {
    *result = 1;
    if (stride < 2) return mthi::Fail(MTH_INVALID_RANGE);
    if (count < 1) return 0;
    // On the boundary: within tolerance of an edge's line, its projection
    // on the edge (a zero-length edge is its first point). Squared
    // distances spare a root per edge; a negative or NaN tolerance admits
    // nothing.
    if (tolerance >= 0.0) {
        const double tol2 = tolerance * tolerance;
        const double qx = point[0], qy = point[1];
        for (int32_t i = 0; i < count; ++i) {
            const double* a = mthi::At(loop, stride, i);
            const double* b = mthi::At(loop, stride, i + 1 < count ? i + 1 : 0);
            const double dx = b[0] - a[0], dy = b[1] - a[1], dd = dx * dx + dy * dy;
            const double wx = qx - a[0], wy = qy - a[1];
            const double t = dd < mthi::kZero * mthi::kZero ? 0.0 : (wx * dx + wy * dy) / dd;
            const double fx = wx - t * dx, fy = wy - t * dy;
            if (fx * fx + fy * fy <= tol2 && t >= -mthi::kZero && t <= 1.0 + mthi::kZero) {
                *result = 0;
                return 0;
            }
        }
    }
    // Otherwise the point is a one-point loop whose degenerate edge lies on
    // the scan line through it.
    int32_t relation = 2;
    const int32_t status = mth_LoopInnerOuter(0, stride, 1, point, count, loop, &relation);
    if (status == 0 && relation == -1) *result = -1;
    return status;
}
