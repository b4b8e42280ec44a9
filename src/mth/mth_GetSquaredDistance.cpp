#include "mth/mth_int.h"

extern "C" double mth_GetSquaredDistance(int32_t n, const double* p, const double* q) {
    return mthi::SquaredDistance(n, p, q);
}
