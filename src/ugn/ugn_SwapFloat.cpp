// ugn_SwapFloat: exchanges count elements of two arrays of float.
#include "ugn/ugn_int.h"

extern "C" void ugn_SwapFloat(int32_t count, float* a, float* b) {
    ugn_mem::SwapElements(count, a, b);
}
