#include "mth/mth_int.h"

extern "C" uint32_t mth_GetFactorial(int32_t n) {
    uint32_t f = 1;
    // From 34! on the product holds 2^32 and wraps to 0 for good.
    for (int32_t i = 2; i <= n && f != 0; ++i) f *= static_cast<uint32_t>(i);
    return f;
}
