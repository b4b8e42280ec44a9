// ugn_IntCompare: three-way comparison of two int32_t values by signed 32-bit
// order, usable as an object-tree or qsort comparator.
#include "ugn/ugn_int.h"

extern "C" int32_t ugn_IntCompare(const void* a, const void* b) {
    const int32_t x = *static_cast<const int32_t*>(a);
    const int32_t y = *static_cast<const int32_t*>(b);
    return x < y ? -1 : (x > y ? 1 : 0);
}
