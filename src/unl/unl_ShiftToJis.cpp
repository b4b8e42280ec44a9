#include "unl/unl_int.h"

// The inverse of unl_JisToShift: a trail byte below 0x9F selects the odd row
// of the lead byte's pair, one from 0x9F on the even row.
extern "C" int32_t unl_ShiftToJis(int32_t code) {
    const int32_t high = (code >> 8) & 0xFF;
    const int32_t low = code & 0xFF;
    const int32_t odd = low < 159 ? 1 : 0;
    const int32_t row = (high - (high < 160 ? 112 : 176)) * 2 - odd;
    int32_t column = 0;
    if (odd != 0) {
        column = low - (low < 128 ? 31 : 32);
    } else {
        column = low - 126;
    }
    if (row < 0 || column < 0) return 0;
    return row * 256 + column;
}
