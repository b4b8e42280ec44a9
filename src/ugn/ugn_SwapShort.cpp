// ugn_SwapShort: exchanges count elements of two arrays of int16_t.
#include "ugn/ugn_int.h"

extern "C" void ugn_SwapShort(int32_t count, int16_t* a, int16_t* b) {
    ugn_mem::SwapElements(count, a, b);
}
