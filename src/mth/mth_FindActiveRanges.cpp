// The ranges of a parameter covered by a set of ranges, by one sweep over
// their sorted ends: covered at least once, or (bit 0) an odd number of
// times, the rule that fills a face with holes from the spans of its loops.
#include <algorithm>
#include <cstdlib>
#include <utility>

#include "common/common_alloc.h"
#include "mth/mth_int.h"

namespace {

struct End {
    double position;
    int32_t step; // +1 where a range starts, -1 where it ends
};

} // namespace

extern "C" int32_t mth_FindActiveRanges(uint32_t option, int32_t count, const double* ranges,
                                        double tolerance, int32_t* active_count, double** active) {
    *active_count = 0;
    *active = nullptr;
    if (count < 1) return 0;
    const std::size_t ends = static_cast<std::size_t>(count) * 2;
    // At most one result per range: out is sized for count of them.
    auto* end = static_cast<End*>(mvxc::Malloc(ends * sizeof(End)));
    auto* out =
        end == nullptr ? nullptr : static_cast<double*>(mvxc::Malloc(ends * sizeof(double)));
    if (out == nullptr) {
        std::free(end);
        return mthi::Fail(MTH_NOMEMORY);
    }
    std::size_t n = 0;
    for (int32_t i = 0; i < count; ++i) {
        double a = ranges[2 * i], b = ranges[2 * i + 1];
        if (std::isnan(a) || std::isnan(b)) continue; // no range at all
        if (b < a) std::swap(a, b);
        end[n++] = End{a, 1};
        end[n++] = End{b, -1};
    }
    std::sort(end, end + n, [](const End& x, const End& y) { return x.position < y.position; });
    // Each stretch of equal positions is applied whole, so a range that ends
    // where the next starts leaves no gap of zero length.
    const bool odd = (option & 1u) != 0;
    const double slack = tolerance >= 0.0 ? tolerance : 0.0;
    int32_t m = 0, cover = 0;
    double from = 0.0;
    for (std::size_t i = 0; i < n;) {
        const double at = end[i].position;
        const bool was = odd ? (cover & 1) != 0 : cover > 0;
        for (; i < n && end[i].position == at; ++i)
            cover += end[i].step;
        const bool is = odd ? (cover & 1) != 0 : cover > 0;
        if (!was && is) {
            from = at;
        } else if (was && !is) {
            if (m > 0 && from - out[2 * m - 1] <= slack)
                out[2 * m - 1] = at; // joins the previous range across a small gap
            else
                out[2 * m] = from, out[2 * m + 1] = at, ++m;
        }
    }
    int32_t kept = 0;
    for (int32_t i = 0; i < m; ++i)
        if (out[2 * i + 1] - out[2 * i] > slack)
            out[2 * kept] = out[2 * i], out[2 * kept + 1] = out[2 * i + 1], ++kept;
    std::free(end);
    if (kept == 0) {
        std::free(out);
        return 0;
    }
    *active_count = kept;
    *active = out;
    return 0;
}
