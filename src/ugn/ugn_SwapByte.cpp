// ugn_SwapByte: exchanges count elements of two arrays of uint8_t.
#include "ugn/ugn_int.h"

extern "C" void ugn_SwapByte(int32_t count, uint8_t* a, uint8_t* b) {
    ugn_mem::SwapElements(count, a, b);
}
