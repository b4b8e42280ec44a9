// Sorting integers in place.
#include "mth/mth_int.h"

extern "C" int32_t mth_SortInteger(int32_t order, int32_t count, int32_t* values) {
    mthi::SelectionSort(order, count, values);
    return 0;
}
