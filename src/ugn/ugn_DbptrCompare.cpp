// ugn_DbptrCompare: three-way comparison of two MDA_PTR values by signed 64-bit
// order, usable as an object-tree or qsort comparator.
#include "ugn/ugn_int.h"

extern "C" int32_t ugn_DbptrCompare(const void* a, const void* b) {
    const MDA_PTR x = *static_cast<const MDA_PTR*>(a);
    const MDA_PTR y = *static_cast<const MDA_PTR*>(b);
    return x < y ? -1 : (x > y ? 1 : 0);
}
