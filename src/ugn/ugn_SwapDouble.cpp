// ugn_SwapDouble: exchanges count elements of two arrays of double.
#include "ugn/ugn_int.h"

extern "C" void ugn_SwapDouble(int32_t count, double* a, double* b) {
    ugn_mem::SwapElements(count, a, b);
}
