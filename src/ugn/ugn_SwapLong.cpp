// ugn_SwapLong: exchanges count elements of two arrays of 32-bit
// integers (a long of the interface is 32 bits).
#include "ugn/ugn_int.h"

extern "C" void ugn_SwapLong(int32_t count, int32_t* a, int32_t* b) {
    ugn_mem::SwapElements(count, a, b);
}
