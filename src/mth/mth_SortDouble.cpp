// Sorting doubles in place.
#include "mth/mth_int.h"

extern "C" int32_t mth_SortDouble(int32_t order, int32_t count, double* values) {
    mthi::SelectionSort(order, count, values);
    return 0;
}
