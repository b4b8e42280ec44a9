#include "mth/mth_int.h"

extern "C" int32_t mth_NormalizeParameterToRange(uint32_t option, double start, double period,
                                                 double* value) {
    if (!(period >= 2.220446049250313e-16)) return mthi::Fail(MTH_INVALID_RANGE);
    const double v = *value;
    if ((option & 1u) && v > start && v <= start + period) return 0;
    if ((option & 2u) && v >= start && v < start + period) return 0;
    double r = std::fmod(v - start, period) + start;
    if (r < start) r += period;
    if ((option & 1u) && r == start) r = start + period;
    *value = r;
    return 0;
}
