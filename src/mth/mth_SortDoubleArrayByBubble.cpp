#include <utility>

#include "mth/mth_int.h"

extern "C" int32_t mth_SortDoubleArrayByBubble(int32_t order, int32_t rows, int32_t length,
                                               double* table, int32_t key, int32_t* companion) {
    if (order != 1 && order != 2) return mthi::Fail(MTH_INVALID_OPT);
    if (rows < 0 || length < 1 || key < 0 || key >= length) return mthi::Fail(MTH_INVALID_RANGE);
    auto row = [table, length](int32_t i) { return table + static_cast<std::ptrdiff_t>(i) * length; };
    // Bubble passes until one swaps nothing: stable, and at most rows passes.
    for (int32_t end = rows - 1; end > 0; --end) {
        bool swapped = false;
        for (int32_t i = 0; i < end; ++i) {
            const double a = row(i)[key], b = row(i + 1)[key];
            if (order == 1 ? b < a : b > a) {
                for (int32_t j = 0; j < length; ++j) std::swap(row(i)[j], row(i + 1)[j]);
                if (companion != nullptr) std::swap(companion[i], companion[i + 1]);
                swapped = true;
            }
        }
        if (!swapped) break;
    }
    return 0;
}
