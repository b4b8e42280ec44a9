#include "unl/unl_int.h"

extern "C" int32_t unl__JisToRowCol(int32_t code, int32_t* row, int32_t* column) {
    // In 64 bits, so that no code can overflow the subtraction.
    const int64_t offset = static_cast<int64_t>(code) - 0x2020;
    const auto r = static_cast<int32_t>((offset >> 8) - 1);
    const auto c = static_cast<int32_t>((offset & 0xFF) - 1);
    if (row != nullptr) *row = r;
    if (column != nullptr) *column = c;
    return r < 0 || c < 0 ? UNL_INVALID_INDEX_ERR : 0;
}
