#include <cstdlib>

#include "common/common_alloc.h"
#include "mth/mth_int.h"

namespace {

// The ranges of one chain through the points and back to the first one (a
// loop closes on itself), so that its last edge is swept too.
int32_t SweepClosed(int32_t stride, int32_t count, const double* points, double tolerance,
                    int32_t* n, double** ranges) {
    auto* closed = static_cast<double*>(
        mvxc::Malloc((static_cast<std::size_t>(count) + 1) * 2 * sizeof(double)));
    if (closed == nullptr) return mthi::Fail(MTH_NOMEMORY);
    for (int32_t i = 0; i <= count; ++i) {
        const double* p = points + static_cast<std::ptrdiff_t>(i < count ? i : 0) * stride;
        closed[2 * i] = p[0], closed[2 * i + 1] = p[1];
    }
    const int32_t status = mth_SweepAnglesContPoints(0, 2, count + 1, closed, tolerance, n, ranges);
    std::free(closed);
    return status;
}

} // namespace

extern "C" int32_t mth_SweepAnglesLoop(uint32_t /*reserved*/, int32_t stride, int32_t pieces,
                                       const int32_t* piece_counts, int32_t total,
                                       const double* points, double tolerance, int32_t* range_count,
                                       double** ranges, int32_t* on_loop) {
    *range_count = 0;
    *ranges = nullptr;
    *on_loop = 0;
    if (stride < 2 || pieces < 0 || total < 0 || total == INT32_MAX)
        return mthi::Fail(MTH_INVALID_RANGE);
    int64_t sum = 0;
    for (int32_t i = 0; i < pieces; ++i) {
        if (piece_counts[i] < 0) return mthi::Fail(MTH_INVALID_RANGE);
        sum += piece_counts[i];
    }
    if (sum > total) return mthi::Fail(MTH_INVALID_RANGE);
    const double origin[2] = {0.0, 0.0};
    int32_t where = 1;
    if (const int32_t status = mth_PointInLoop(0, stride, origin, total, points, tolerance, &where))
        return status;
    *on_loop = where == 0 ? 1 : 0;
    int32_t n = 0;
    double* found = nullptr;
    if (where != -1) {
        // On or outside the loop: the whole loop sweeps one range, or two
        // that meet where the loop passes the origin.
        if (const int32_t status = SweepClosed(stride, total, points, tolerance, &n, &found))
            return status;
        int32_t status = 0;
        if (n == 1) {
            *range_count = 1;
            *ranges = found;
            return 0;
        }
        if (n == 2) status = mth_SweepAnglesMerge(1, 2, found, range_count, ranges);
        std::free(found);
        return status;
    }
    // Inside: every piece sweeps exactly one range of its own.
    if (pieces == 0) return 0;
    auto* out =
        static_cast<double*>(mvxc::Malloc(static_cast<std::size_t>(pieces) * 2 * sizeof(double)));
    if (out == nullptr) return mthi::Fail(MTH_NOMEMORY);
    const double* piece = points;
    for (int32_t i = 0; i < pieces; ++i) {
        const int32_t status =
            mth_SweepAnglesContPoints(0, stride, piece_counts[i], piece, tolerance, &n, &found);
        if (status != 0 || n != 1) {
            std::free(found);
            std::free(out);
            return status;
        }
        out[2 * i] = found[0], out[2 * i + 1] = found[1];
        std::free(found);
        found = nullptr;
        piece += static_cast<std::ptrdiff_t>(piece_counts[i]) * stride;
    }
    *range_count = pieces;
    *ranges = out;
    return 0;
}
