// Point in loop: the boundary test, then the relation of the point, as a
// one-point loop, to the loop. That relation needs no crossing list here:
// the point's degenerate edge meets no edge, and on the scan line through
// it the point adds two crossings that sort before any of the loop's at
// the same position, so the first run of the sorted crossings is odd, and
// the point inside, exactly when the loop has an odd number of crossings
// left of it. Two linear passes, nothing allocated; the rare cases that
// differ (a loop whose box is the point itself, a scan height that
// overflows) go through mth_LoopInnerOuter as they are.
#include <cfloat>

#include "mth/mth_loops.h"

namespace {

// q lies within tolerance of segment a-b, its foot within 1e-13 of the
// segment's extent (measured in the segment's length; a segment shorter
// than 1e-13 is its first point). Free of division: with w = q - a and d =
// b - a, the distance is |w x d| / |d| and the foot's parameter w . d / d . d.
bool OnEdge(const double* a, const double* b, double qx, double qy, double tol2) {
    const double dx = b[0] - a[0], dy = b[1] - a[1], dd = dx * dx + dy * dy;
    const double wx = qx - a[0], wy = qy - a[1];
    if (dd < mthi::kZero * mthi::kZero) return wx * wx + wy * wy <= tol2;
    if (!(dd <= DBL_MAX)) return false; // an edge too long to measure
    const double along = wx * dx + wy * dy, across = wx * dy - wy * dx;
    return across * across <= tol2 * dd && along >= -mthi::kZero * dd &&
           along <= (1.0 + mthi::kZero) * dd;
}

} // namespace

extern "C" int32_t mth_PointInLoop(uint32_t /*reserved*/, int32_t stride, const double* point,
                                   int32_t count, const double* loop, double tolerance,
                                   int32_t* result) {
    using mthi::At;
    *result = 1;
    if (stride < 2) return mthi::Fail(MTH_INVALID_RANGE);
    if (count < 1) return 0;
    const double qx = point[0], qy = point[1];
    // A negative or NaN tolerance admits nothing on the boundary.
    const bool near = tolerance >= 0.0;
    const double tol2 = tolerance * tolerance;
    mthi::Box box;
    for (int32_t i = 0; i < count; ++i) {
        const double* a = At(loop, stride, i);
        mthi::Widen(box, a);
        if (near && OnEdge(a, At(loop, stride, i + 1 < count ? i + 1 : 0), qx, qy, tol2)) {
            *result = 0;
            return 0;
        }
    }
    // Boxes apart (a NaN point has an empty box): separate, so outside.
    if (!(qx >= box.min_x && qx <= box.max_x && qy >= box.min_y && qy <= box.max_y)) return 0;
    const double y = (std::fmax(qy, box.min_y) + std::fmin(qy, box.max_y)) / 2;
    const bool same_box =
        std::fabs(qx - box.min_x) <= mthi::kZero && std::fabs(qx - box.max_x) <= mthi::kZero &&
        std::fabs(qy - box.min_y) <= mthi::kZero && std::fabs(qy - box.max_y) <= mthi::kZero;
    if (same_box || y != qy) {
        int32_t relation = 2;
        const int32_t status = mth_LoopInnerOuter(0, stride, 1, point, count, loop, &relation);
        if (status == 0 && relation == -1) *result = -1;
        return status;
    }
    bool odd = false;
    mthi::ScanLine(y, stride, count, loop, [&](double x) { return odd ^= x < qx, 0; });
    if (odd) *result = -1;
    return 0;
}
