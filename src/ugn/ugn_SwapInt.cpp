// ugn_SwapInt: exchanges count elements of two arrays of int32_t.
#include "ugn/ugn_int.h"

extern "C" void ugn_SwapInt(int32_t count, int32_t* a, int32_t* b) {
    ugn_mem::SwapElements(count, a, b);
}
