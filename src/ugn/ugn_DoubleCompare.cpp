// ugn_DoubleCompare: three-way comparison of two doubles, usable as an
// object-tree or qsort comparator. Unordered pairs (a NaN on either side)
// compare equal, since neither value is greater.
#include "ugn/ugn_int.h"

extern "C" int32_t ugn_DoubleCompare(const void* a, const void* b) {
    const double x = *static_cast<const double*>(a);
    const double y = *static_cast<const double*>(b);
    if (y > x) return -1;
    if (x > y) return 1;
    return 0;
}
