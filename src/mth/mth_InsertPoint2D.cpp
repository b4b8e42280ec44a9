#include <cstring>

#include "mth/mth_int.h"

extern "C" int32_t mth_InsertPoint2D(const double* point, int32_t position, int32_t* count,
                                     double* list) {
    const int32_t n = *count;
    if (n < 0 || position < 0 || position > n || n == INT32_MAX)
        return mthi::Fail(MTH_INVALID_RANGE);
    double* at = list + static_cast<std::ptrdiff_t>(position) * 2;
    if (position < n && std::fabs(at[0] - point[0]) <= mthi::kZero &&
        std::fabs(at[1] - point[1]) <= mthi::kZero)
        return MTH_SAMEPOINT;
    const double x = point[0], y = point[1]; // the point may lie in the list
    std::memmove(at + 2, at, static_cast<std::size_t>(n - position) * 2 * sizeof(double));
    at[0] = x, at[1] = y;
    *count = n + 1;
    return 0;
}
