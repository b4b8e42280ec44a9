#include "mth/mth_int.h"

extern "C" int32_t mth_UnitizeVector(int32_t n, const double* a, double* out) {
    return mthi::Unitize(n, a, out);
}
