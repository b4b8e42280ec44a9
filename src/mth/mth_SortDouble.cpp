#include <utility>

#include "mth/mth_int.h"

extern "C" int32_t mth_SortDouble(int32_t order, int32_t count, double* values) {
    // Selection sort; NaN values never compare, so they stay where the
    // passes leave them, and the sort still ends after count passes.
    for (int32_t i = 0; i + 1 < count; ++i) {
        int32_t pick = i;
        for (int32_t j = i + 1; j < count; ++j)
            if (order == 1 ? values[j] < values[pick] : values[j] > values[pick]) pick = j;
        if (pick != i) std::swap(values[i], values[pick]);
    }
    return 0;
}
