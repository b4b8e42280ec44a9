#include "mth/mth_int.h"

extern "C" double mth_GetDistance(int32_t n, const double* p, const double* q) {
    return std::sqrt(mthi::SquaredDistance(n, p, q));
}
