#include "mth/mth_int.h"

extern "C" double mth_GetVectorMag(int32_t n, const double* a) {
    return std::sqrt(mthi::Dot(n, a, a));
}
