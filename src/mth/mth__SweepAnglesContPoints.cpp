#include "mth/mth_int.h"

extern "C" int32_t mth__SweepAnglesContPoints(uint32_t /*reserved*/, int32_t stride, int32_t count,
                                              const double* points, double* range) {
    if (stride < 2) return mthi::Fail(MTH_INVALID_RANGE);
    double start = 0.0;
    int32_t flag = 2;
    if (count >= 1) mth_GetAngle2DPoint(0, points, &start, &flag);
    if (flag != 1) return MTH_ORIGIN_POINT;
    // The signed turn of each step about the origin, atan2(cross, dot) in
    // (-pi, pi], summed; the run covers the span of those partial sums.
    double sum = 0.0, low = 0.0, high = 0.0;
    for (int32_t i = 1; i < count && high - low < mthi::kTwoPi; ++i) {
        const double* p = points + static_cast<std::ptrdiff_t>(i - 1) * stride;
        const double* q = p + stride;
        const double turn = std::atan2(p[0] * q[1] - p[1] * q[0], p[0] * q[0] + p[1] * q[1]);
        if (!std::isfinite(turn)) continue;
        sum += turn;
        low = std::fmin(low, sum), high = std::fmax(high, sum);
    }
    const double width = std::fmin(high - low, mthi::kTwoPi);
    start = std::fmod(start + low, mthi::kTwoPi);
    if (start < 0.0) start += mthi::kTwoPi;
    if (start >= mthi::kTwoPi - mthi::kZero) start = 0.0;
    range[0] = start;
    range[1] = start + width;
    return 0;
}
