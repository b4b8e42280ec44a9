#include <algorithm>
#include <cstdlib>

#include "common/common_alloc.h"
#include "mth/mth_int.h"

namespace {

struct Range {
    double start, end;
};

constexpr double kJoin = 1e-5;

} // namespace

extern "C" int32_t mth_SweepAnglesMerge(uint32_t option, int32_t count, const double* ranges,
                                        int32_t* merged_count, double** merged) {
    *merged_count = 0;
    *merged = nullptr;
    if (count < 1) return 0;
    auto* work = static_cast<Range*>(mvxc::Malloc(static_cast<std::size_t>(count) * sizeof(Range)));
    if (work == nullptr) return mthi::Fail(MTH_NOMEMORY);
    for (int32_t i = 0; i < count; ++i)
        work[i] = Range{ranges[2 * i], ranges[2 * i + 1]};
    // Stable, as a bubble sort of the pairs by start would be; a NaN start
    // sorts last.
    std::stable_sort(work, work + count, [](const Range& a, const Range& b) {
        return a.start < b.start || (!std::isnan(a.start) && std::isnan(b.start));
    });
    // Option bit 0 joins ranges that touch (within 1e-5); without it they
    // must overlap by more than that.
    const double s = (option & 1u) ? kJoin : -kJoin;
    int32_t m = 0;
    for (int32_t i = 1; i < count; ++i) {
        if (work[m].end + s > work[i].start)
            work[m].end = std::fmax(work[m].end, work[i].end);
        else
            work[++m] = work[i];
    }
    ++m;
    // The last range may run past a full turn into the first.
    int32_t first = 0;
    if (m > 1 && work[m - 1].end > mthi::kTwoPi - kJoin &&
        work[m - 1].end + s > work[0].start + mthi::kTwoPi) {
        work[m - 1].end = std::fmax(work[m - 1].end, work[0].end + mthi::kTwoPi);
        first = 1;
    }
    auto* out = static_cast<double*>(
        mvxc::Malloc(static_cast<std::size_t>(m - first) * 2 * sizeof(double)));
    if (out == nullptr) {
        std::free(work);
        return mthi::Fail(MTH_NOMEMORY);
    }
    for (int32_t i = first; i < m; ++i)
        out[2 * (i - first)] = work[i].start, out[2 * (i - first) + 1] = work[i].end;
    std::free(work);
    *merged_count = m - first;
    *merged = out;
    return 0;
}
