// Containment of loop 1 in loop 2 by scan lines.
//
// Between two consecutive vertex heights (of either loop) every edge that
// meets the band crosses it whole, so when no edge of loop 1 crosses an
// edge of loop 2, the order of the edges along x is the same all through
// the band, and one scan line through its middle decides it: there every
// span inside loop 1 must lie within a span inside loop 2. The crossing
// test and the spans allow eps, the tolerance scaled by the larger span of
// the two boxes (at least 1). A loop 1 without height has no band; its
// vertices are then tested one by one.
#include <algorithm>
#include <cfloat>
#include <cstdlib>

#include "mth/mth_loops.h"

namespace {

using mthi::At;

double Cross(const double* o, const double* a, const double* b) {
    return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0]);
}

// a-b and c-d cross each other: each has its ends more than eps on either
// side of the other's line. Edges shorter than 1e-13 cross nothing.
bool Crosses(const double* a, const double* b, const double* c, const double* d, double eps) {
    const double l1 = std::hypot(b[0] - a[0], b[1] - a[1]),
                 l2 = std::hypot(d[0] - c[0], d[1] - c[1]);
    if (!(l1 >= mthi::kZero) || !(l2 >= mthi::kZero)) return false;
    const double sc = Cross(a, b, c) / l1, sd = Cross(a, b, d) / l1;
    const double sa = Cross(c, d, a) / l2, sb = Cross(c, d, b) / l2;
    return ((sc > eps && sd < -eps) || (sc < -eps && sd > eps)) &&
           ((sa > eps && sb < -eps) || (sa < -eps && sb > eps));
}

bool EdgesCross(int32_t stride, int32_t count1, const double* loop1, int32_t count2,
                const double* loop2, double eps) {
    for (int32_t i = 0; i < count1; ++i) {
        const double* a = At(loop1, stride, i);
        const double* b = At(loop1, stride, i + 1 < count1 ? i + 1 : 0);
        for (int32_t j = 0; j < count2; ++j) {
            const double* c = At(loop2, stride, j);
            const double* d = At(loop2, stride, j + 1 < count2 ? j + 1 : 0);
            if (std::fmax(a[0], b[0]) < std::fmin(c[0], d[0]) ||
                std::fmax(c[0], d[0]) < std::fmin(a[0], b[0]) ||
                std::fmax(a[1], b[1]) < std::fmin(c[1], d[1]) ||
                std::fmax(c[1], d[1]) < std::fmin(a[1], b[1]))
                continue;
            if (Crosses(a, b, c, d, eps)) return true;
        }
    }
    return false;
}

// Every span inside loop 1 (tag 1) lies within one span inside loop 2
// (tag 2), both within eps; the list is sorted by position.
bool SpansContained(const mthi::CrossingList& list, double eps) {
    // The next crossing of one loop after index k.
    auto next = [&list](int32_t tag, int32_t& k, double& x) {
        while (k < list.size() && list[k].tag != tag)
            ++k;
        if (k == list.size()) return false;
        x = list[k++].position;
        return true;
    };
    int32_t k1 = 0, k2 = 0;
    double left = 0.0, right = 0.0, start = 0.0, end = 0.0;
    bool have = false;
    while (next(1, k1, left)) {
        if (!next(1, k1, right)) return false;
        // The first span of loop 2 reaching to the right end; the spans are
        // disjoint and ordered, so only it can hold the whole span.
        while (!have || end + eps < right) {
            if (!next(2, k2, start) || !next(2, k2, end)) return false;
            have = true;
        }
        if (start > left + eps) return false;
    }
    return true;
}

} // namespace

extern "C" int32_t mth_LoopInLoop(const double* loop1, int32_t count1, const double* loop2,
                                  int32_t count2, int32_t stride, double tolerance) {
    if (stride < 2) return mthi::Fail(MTH_INVALID_RANGE);
    if (count1 < 1 || count2 < 1) return 0;
    for (int32_t k = 0; k < 2; ++k) {
        const double* loop = k == 0 ? loop1 : loop2;
        for (int32_t i = 0, n = k == 0 ? count1 : count2; i < n; ++i)
            if (!std::isfinite(At(loop, stride, i)[0]) || !std::isfinite(At(loop, stride, i)[1]))
                return 0;
    }
    const double tol = tolerance >= 0.0 ? tolerance : 0.0;
    const mthi::Box b1 = mthi::LoopBox(stride, count1, loop1),
                    b2 = mthi::LoopBox(stride, count2, loop2);
    if (b1.min_x > b2.max_x + tol || b2.min_x > b1.max_x + tol || b1.min_y > b2.max_y + tol ||
        b2.min_y > b1.max_y + tol)
        return -1;
    const double span = std::fmax(std::fmax(b1.max_x, b2.max_x) - std::fmin(b1.min_x, b2.min_x),
                                  std::fmax(b1.max_y, b2.max_y) - std::fmin(b1.min_y, b2.min_y));
    // A span that overflows counts as the largest double.
    const double eps = tol * std::fmax(1.0, std::fmin(span, DBL_MAX));
    if (b1.min_x < b2.min_x - eps || b1.max_x > b2.max_x + eps || b1.min_y < b2.min_y - eps ||
        b1.max_y > b2.max_y + eps)
        return 0;
    if (EdgesCross(stride, count1, loop1, count2, loop2, eps)) return 0;
    // The vertex heights within loop 1's height, sorted and distinct.
    auto* ys = static_cast<double*>(
        mvxc::Malloc((static_cast<std::size_t>(count1) + count2) * sizeof(double)));
    if (ys == nullptr) return mthi::Fail(MTH_NOMEMORY);
    std::ptrdiff_t n = 0;
    for (int32_t i = 0; i < count1; ++i)
        ys[n++] = At(loop1, stride, i)[1];
    for (int32_t i = 0; i < count2; ++i) {
        const double y = At(loop2, stride, i)[1];
        if (y > b1.min_y && y < b1.max_y) ys[n++] = y;
    }
    std::sort(ys, ys + n);
    n = std::unique(ys, ys + n) - ys;
    int32_t result = 1, bands = 0;
    mthi::CrossingList list;
    for (std::ptrdiff_t i = 0; i + 1 < n && result == 1; ++i) {
        // Bands thinner than the scan line's own tolerance are passed over:
        // their middle would count as on a vertex.
        if (!(ys[i + 1] - ys[i] > 4 * mthi::kZero)) continue;
        ++bands;
        const double y = (ys[i] + ys[i + 1]) / 2;
        list.Clear();
        int32_t status = mthi::ScanCrossings(1, y, stride, count1, loop1, list);
        if (status == 0) status = mthi::ScanCrossings(2, y, stride, count2, loop2, list);
        if (status != 0) {
            std::free(ys);
            return status;
        }
        list.Sort();
        if (!SpansContained(list, eps)) result = 0;
    }
    std::free(ys);
    // No band: a flat loop 1, inside when all its vertices are.
    for (int32_t i = 0; bands == 0 && i < count1 && result == 1; ++i) {
        int32_t where = 1;
        if (const int32_t status =
                mth_PointInLoop(0, stride, At(loop1, stride, i), count2, loop2, eps, &where))
            return status;
        if (where == 1) result = 0;
    }
    return result;
}
