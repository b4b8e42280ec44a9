#include "mth/mth_int.h"

extern "C" int32_t mth_CheckCoinPointsTol(uint32_t /*reserved*/, double tolerance, int32_t n,
                                          const double* p, const double* q) {
    return std::sqrt(mthi::SquaredDistance(n, p, q)) <= tolerance ? 1 : 0;
}
