#include <cstdlib>

#include "mth/mth_loops.h"

int32_t mthi::ScanCrossings(int32_t tag, double y, int32_t stride, int32_t count,
                            const double* loop, CrossingList& list) {
    if (count < 1) return 0;
    // -1 below (and NaN), 0 on the line, +1 above.
    auto side = [y](const double* p) {
        const double d = p[1] - y;
        return std::fabs(d) <= kZero ? 0 : (d > 0.0 ? 1 : -1);
    };
    // The side of the last vertex off the line before vertex 0, for a loop
    // whose walk starts on the line.
    int last_off = 0;
    for (int32_t i = count - 1; i >= 0 && last_off == 0; --i) last_off = side(At(loop, stride, i));
    int sa = side(At(loop, stride, 0));
    for (int32_t i = 0; i < count; ++i) {
        const double* a = At(loop, stride, i);
        const double* b = At(loop, stride, i + 1 < count ? i + 1 : 0);
        const int sb = side(b);
        int32_t status = 0;
        if (sa == 0 && sb == 0) {
            status = list.Add(tag, a[0]);
            if (status == 0) status = list.Add(tag, b[0]);
        } else if (sa == 0) {
            status = list.Add(tag, a[0]);
            if (status == 0 && sb == last_off) status = list.Add(tag, a[0]); // a touching vertex
        } else if (sb != 0 && sb != sa) {
            // The ends lie more than 1e-13 apart in y on either side.
            status = list.Add(tag, a[0] + (y - a[1]) * (b[0] - a[0]) / (b[1] - a[1]));
        }
        if (status != 0) return status;
        if (sa != 0) last_off = sa;
        sa = sb;
    }
    return 0;
}

extern "C" int32_t mth_HorizontalLineLoopIntersect(uint32_t /*reserved*/, double y, int32_t stride,
                                                   int32_t count, const double* loop,
                                                   int32_t* crossings, double** positions) {
    *crossings = 0;
    *positions = nullptr;
    if (stride < 2) return mthi::Fail(MTH_INVALID_RANGE);
    mthi::CrossingList list;
    if (const int32_t status = mthi::ScanCrossings(1, y, stride, count, loop, list)) return status;
    if (list.size() == 0) return 0;
    list.Sort();
    auto* out = static_cast<double*>(mvxc::Malloc(static_cast<std::size_t>(list.size()) * sizeof(double)));
    if (out == nullptr) return mthi::Fail(MTH_NOMEMORY);
    for (int32_t i = 0; i < list.size(); ++i) out[i] = list[i].position;
    *crossings = list.size();
    *positions = out;
    return 0;
}
