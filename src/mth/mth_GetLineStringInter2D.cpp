// Intersections of two 2D line strings, segment against segment.
//
// Crossing segments meet where both parameters lie in [0, 1], each widened
// by the tolerance over the segment's length and then clamped (and snapped
// to 0 or 1 within that width, so that the two segments around a shared
// vertex give the same parameter). Segments that run along each other
// (both ends of one within the tolerance of the other's line) report the
// two ends of their overlap, or one point where they only touch. After
// sorting by the position along string 1, then string 2, a record within
// the tolerance of the one kept before it, on the same or a neighbouring
// segment of string 2, repeats it and is dropped.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "mth/mth_loops.h"

namespace {

using mthi::At;

// One intersection: the point and its positions along the strings
// (segment index plus parameter).
struct Hit {
    double x, y, s1, s2;
};
static_assert(sizeof(Hit) == 4 * sizeof(double), "a record is 4 doubles");

class Hits {
public:
    Hits() = default;
    Hits(const Hits&) = delete;
    Hits& operator=(const Hits&) = delete;
    ~Hits() { std::free(items_); }
    int32_t Add(const Hit& hit) {
        if (size_ == capacity_) {
            if (capacity_ > INT32_MAX / 2 - 16) return mthi::Fail(MTH_NOMEMORY);
            const int32_t capacity = capacity_ * 2 + 16;
            void* grown = mvxc::Realloc(items_, static_cast<std::size_t>(capacity) * sizeof(Hit));
            if (grown == nullptr) return mthi::Fail(MTH_NOMEMORY);
            items_ = static_cast<Hit*>(grown), capacity_ = capacity;
        }
        items_[size_++] = hit;
        return 0;
    }
    Hit* items_ = nullptr;
    int32_t size_ = 0, capacity_ = 0;
};

// Parameter t of a segment of the given length, accepted within width
// tol / length of [0, 1], clamped and snapped onto its ends.
bool Accept(double& t, double tol, double length) {
    const double w = tol / length;
    if (!(t >= -w && t <= 1.0 + w)) return false;
    if (t <= w) t = 0.0;
    if (t >= 1.0 - w) t = 1.0;
    return true;
}

struct Strings {
    double tol;

    // Intersections of segment i (a-b) of string 1 with segment j (c-d)
    // of string 2.
    int32_t Pair(const double* a, const double* b, int32_t i, const double* c, const double* d,
                 int32_t j, Hits& hits) const {
        const double rx = b[0] - a[0], ry = b[1] - a[1], qx = d[0] - c[0], qy = d[1] - c[1];
        const double lr = std::hypot(rx, ry), lq = std::hypot(qx, qy);
        if (!(lr >= mthi::kZero) || !(lq >= mthi::kZero) || !std::isfinite(lr * lq)) return 0;
        const double wx = c[0] - a[0], wy = c[1] - a[1];
        const double den = rx * qy - ry * qx;
        // Distances of c and d from the line a-b.
        const double dc = (rx * wy - ry * wx) / lr,
                     dd = (rx * (d[1] - a[1]) - ry * (d[0] - a[0])) / lr;
        if (std::fabs(dc) <= tol && std::fabs(dd) <= tol) {
            // Along each other: the overlap of the projections on a-b.
            const double tc = (wx * rx + wy * ry) / (lr * lr);
            const double td = ((d[0] - a[0]) * rx + (d[1] - a[1]) * ry) / (lr * lr);
            double lo = std::fmax(0.0, std::fmin(tc, td)), hi = std::fmin(1.0, std::fmax(tc, td));
            if (!(lo <= hi + tol / lr)) return 0;
            if (hi < lo) hi = lo;
            for (const double t0 : {lo, hi}) {
                double t = t0;
                Accept(t, tol, lr);
                const double x = a[0] + t * rx, y = a[1] + t * ry;
                double u = ((x - c[0]) * qx + (y - c[1]) * qy) / (lq * lq);
                if (u < 0.0) u = 0.0;
                if (u > 1.0) u = 1.0;
                Accept(u, tol, lq);
                if (const int32_t status = Add(hits, x, y, i + t, j + u)) return status;
                if (!((hi - lo) * lr > tol)) break; // they only touch
            }
            return 0;
        }
        if (!(std::fabs(den) > 0.0)) return 0; // parallel and apart
        double t = (wx * qy - wy * qx) / den, u = (wx * ry - wy * rx) / den;
        if (!Accept(t, tol, lr) || !Accept(u, tol, lq)) return 0;
        return Add(hits, a[0] + t * rx, a[1] + t * ry, i + t, j + u);
    }

    int32_t Add(Hits& hits, double x, double y, double s1, double s2) const {
        if (!std::isfinite(x) || !std::isfinite(y)) return 0;
        return hits.Add(Hit{x, y, s1, s2});
    }
};

bool BoxesMeet(const double* a, const double* b, const double* c, const double* d, double tol) {
    return std::fmax(a[0], b[0]) + tol >= std::fmin(c[0], d[0]) &&
           std::fmax(c[0], d[0]) + tol >= std::fmin(a[0], b[0]) &&
           std::fmax(a[1], b[1]) + tol >= std::fmin(c[1], d[1]) &&
           std::fmax(c[1], d[1]) + tol >= std::fmin(a[1], b[1]);
}

} // namespace

extern "C" int32_t mth_GetLineStringInter2D(uint32_t option, int32_t stride, int32_t count1,
                                            const double* string1, int32_t count2,
                                            const double* string2, double tolerance, int32_t* found,
                                            double** intersections) {
    *found = 0;
    *intersections = nullptr;
    if (stride < 2) return mthi::Fail(MTH_INVALID_RANGE);
    const bool closed1 = (option & 1u) != 0, closed2 = (option & 2u) != 0;
    // A closed string of n points has n segments, an open one n - 1.
    const int32_t segments1 = count1 < 2 ? 0 : (closed1 ? count1 : count1 - 1);
    const int32_t segments2 = count2 < 2 ? 0 : (closed2 ? count2 : count2 - 1);
    const Strings strings{tolerance >= 0.0 ? tolerance : 0.0};
    Hits hits;
    for (int32_t i = 0; i < segments1; ++i) {
        const double* a = At(string1, stride, i);
        const double* b = At(string1, stride, i + 1 < count1 ? i + 1 : 0);
        for (int32_t j = 0; j < segments2; ++j) {
            const double* c = At(string2, stride, j);
            const double* d = At(string2, stride, j + 1 < count2 ? j + 1 : 0);
            if (!BoxesMeet(a, b, c, d, strings.tol)) continue;
            if (const int32_t status = strings.Pair(a, b, i, c, d, j, hits)) return status;
        }
    }
    // The end of a closed string is its start.
    for (int32_t k = 0; k < hits.size_; ++k) {
        if (closed1 && hits.items_[k].s1 >= count1) hits.items_[k].s1 = 0.0;
        if (closed2 && hits.items_[k].s2 >= count2) hits.items_[k].s2 = 0.0;
    }
    std::sort(hits.items_, hits.items_ + hits.size_, [](const Hit& p, const Hit& q) {
        return p.s1 < q.s1 || (p.s1 == q.s1 && p.s2 < q.s2);
    });
    int32_t kept = 0;
    for (int32_t k = 0; k < hits.size_; ++k) {
        const Hit& h = hits.items_[k];
        if (kept > 0) {
            const Hit& p = hits.items_[kept - 1];
            const double gap = std::fabs(h.s2 - p.s2);
            if (std::hypot(h.x - p.x, h.y - p.y) <= strings.tol &&
                (gap <= 1.0 || (closed2 && gap >= count2 - 1)))
                continue;
        }
        hits.items_[kept++] = h;
    }
    if (kept == 0) return 0;
    auto* out = static_cast<double*>(mvxc::Malloc(static_cast<std::size_t>(kept) * sizeof(Hit)));
    if (out == nullptr) return mthi::Fail(MTH_NOMEMORY);
    std::memcpy(out, hits.items_, static_cast<std::size_t>(kept) * sizeof(Hit));
    *found = kept;
    *intersections = out;
    return 0;
}
