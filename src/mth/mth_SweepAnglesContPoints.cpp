// A chain of points split into runs that each sweep a single angular range
// about the origin: a point at the origin (within the tolerance, or too
// close for an angle, or not a number) ends a run and is dropped, and a
// step whose segment passes the origin starts a new run at its end.
#include <cstdlib>

#include "common/common_alloc.h"
#include "mth/mth_int.h"

namespace {

struct Chain {
    int32_t stride;
    int32_t count;
    const double* points;
    double tolerance;

    const double* At(int32_t i) const { return points + static_cast<std::ptrdiff_t>(i) * stride; }

    bool Dropped(const double* p) const {
        return !std::isfinite(p[0]) || !std::isfinite(p[1]) ||
               std::hypot(p[0], p[1]) <= tolerance ||
               (std::fabs(p[0]) < mthi::kZero && std::fabs(p[1]) < mthi::kZero);
    }

    // The segment p-q passes within the tolerance of the origin, its foot
    // strictly between the ends.
    bool PassesOrigin(const double* p, const double* q) const {
        const double dx = q[0] - p[0], dy = q[1] - p[1], dd = dx * dx + dy * dy;
        if (!(dd > 0.0)) return false;
        const double t = -(p[0] * dx + p[1] * dy) / dd;
        return t > 0.0 && t < 1.0 && std::hypot(p[0] + t * dx, p[1] + t * dy) <= tolerance;
    }

    // Calls run(first, count) for every run in order.
    template <typename Run> int32_t Walk(Run run) const {
        int32_t i = 0;
        while (i < count) {
            while (i < count && Dropped(At(i)))
                ++i;
            if (i == count) break;
            int32_t k = i + 1;
            while (k < count && !Dropped(At(k)) && !PassesOrigin(At(k - 1), At(k)))
                ++k;
            if (const int32_t status = run(i, k - i)) return status;
            i = k;
        }
        return 0;
    }
};

} // namespace

extern "C" int32_t mth_SweepAnglesContPoints(uint32_t /*reserved*/, int32_t stride, int32_t count,
                                             const double* points, double tolerance,
                                             int32_t* range_count, double** ranges) {
    *range_count = 0;
    *ranges = nullptr;
    if (stride < 2) return mthi::Fail(MTH_INVALID_RANGE);
    const Chain chain{stride, count, points, tolerance};
    int32_t runs = 0;
    chain.Walk([&runs](int32_t, int32_t) { return ++runs, 0; });
    if (runs == 0) return 0;
    auto* out =
        static_cast<double*>(mvxc::Malloc(static_cast<std::size_t>(runs) * 2 * sizeof(double)));
    if (out == nullptr) return mthi::Fail(MTH_NOMEMORY);
    int32_t filled = 0;
    const int32_t status = chain.Walk([&](int32_t first, int32_t n) {
        return mth__SweepAnglesContPoints(0, stride, n, chain.At(first), out + 2 * filled++);
    });
    if (status != 0) {
        std::free(out);
        return status;
    }
    *range_count = runs;
    *ranges = out;
    return 0;
}
