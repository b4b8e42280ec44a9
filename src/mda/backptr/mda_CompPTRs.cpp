// Ordering db_ptrs as signed 64-bit values.
#include "mda/mda_backptr_int.h"

extern "C" int32_t mda_CompPTRs(const MDA_PTR* a, const MDA_PTR* b) {
    // A missing operand sorts first rather than being read.
    if (a == nullptr || b == nullptr) return (a != nullptr) - (b != nullptr);
    const int64_t x = static_cast<int64_t>(*a);
    const int64_t y = static_cast<int64_t>(*b);
    return x < y ? -1 : x == y ? 0 : 1;
}
