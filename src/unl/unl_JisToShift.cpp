#include "unl/unl_int.h"

// Rows come in pairs: JIS rows 2k-1 and 2k share one Shift-JIS lead byte;
// the odd row takes trail bytes 0x40..0x9E (skipping 0x7F), the even row
// 0x9F..0xFC. Lead bytes run 0x81..0x9F, then continue at 0xE0.
extern "C" int32_t unl_JisToShift(int32_t code) {
    const int32_t high = (code >> 8) & 0xFF;
    const int32_t low = code & 0xFF;
    // With high a byte, s1 is never negative, so every code gives a result.
    const int32_t s1 = ((high + 1) >> 1) + (high < 95 ? 112 : 176);
    int32_t s2 = 0;
    if ((high & 1) != 0) {
        s2 = low + (low < 96 ? 31 : 32);
    } else {
        s2 = low + 126;
    }
    return s1 * 256 + s2;
}
