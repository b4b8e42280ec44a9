// Filling an array of db_ptrs with one value.
#include "mda/mda_backptr_int.h"

extern "C" int32_t mda__FillPtr(int32_t count, MDA_PTR value, MDA_PTR* array) {
    if (count > 0 && array == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    for (int32_t i = 0; i < count; ++i)
        array[i] = value;
    return 0;
}
