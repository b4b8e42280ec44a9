#include "mth/mth_int.h"

extern "C" int32_t mth_CompareLocation(int32_t n, const double* p, const double* q,
                                       double tolerance) {
    return std::sqrt(mthi::SquaredDistance(n, p, q)) <= tolerance ? 1 : 0;
}
