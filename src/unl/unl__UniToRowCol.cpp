#include "unl/unl_int.h"

extern "C" int32_t unl__UniToRowCol(int32_t code, int32_t* row, int32_t* column) {
    const int32_t r = code >> 8; // arithmetic: a negative code gives a negative row
    const int32_t c = code & 0xFF;
    if (row != nullptr) *row = r;
    if (column != nullptr) *column = c;
    return r < 0 || c < 0 ? UNL_INVALID_INDEX_ERR : 0;
}
