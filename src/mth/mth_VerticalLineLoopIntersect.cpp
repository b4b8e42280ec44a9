#include <utility>

#include "mth/mth_loops.h"

namespace {

void ExchangeXY(int32_t stride, int32_t count, double* loop) {
    for (int32_t i = 0; i < count; ++i) {
        double* p = loop + static_cast<std::ptrdiff_t>(i) * stride;
        std::swap(p[0], p[1]);
    }
}

} // namespace

extern "C" int32_t mth_VerticalLineLoopIntersect(uint32_t /*reserved*/, double x, int32_t stride,
                                                 int32_t count, double* loop, int32_t* crossings,
                                                 double** positions) {
    *crossings = 0;
    *positions = nullptr;
    if (stride < 2) return mthi::Fail(MTH_INVALID_RANGE);
    // The horizontal scan of the loop mirrored about y = x; exchanging back
    // restores every coordinate exactly, on every path.
    ExchangeXY(stride, count, loop);
    const int32_t status =
        mth_HorizontalLineLoopIntersect(0, x, stride, count, loop, crossings, positions);
    ExchangeXY(stride, count, loop);
    return status;
}
