#include "mth/mth_int.h"

extern "C" double mth_DotVector(int32_t n, const double* a, const double* b) {
    return mthi::Dot(n, a, b);
}
