#include "mth/mth_int.h"

extern "C" int32_t mth_NormalizeAngles(uint32_t /*reserved*/, double* start, double* end,
                                       double tolerance) {
    double s = *start, e = *end;
    if (!std::isfinite(s) || !std::isfinite(e)) return 0; // nothing to reduce
    // fmod rather than repeated turns, so that huge angles end at once.
    if (s < -tolerance || s >= mthi::kTwoPi + tolerance) {
        s = std::fmod(s, mthi::kTwoPi);
        if (s < -tolerance) s += mthi::kTwoPi;
    }
    if (e <= s - tolerance || e > s + mthi::kTwoPi + tolerance) {
        e = s + std::fmod(e - s, mthi::kTwoPi);
        if (e <= s - tolerance) e += mthi::kTwoPi;
    }
    if (std::fabs(e - s) <= tolerance) e = s + mthi::kTwoPi; // a full turn
    *start = s, *end = e;
    return 0;
}
