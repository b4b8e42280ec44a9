// ugn_FreeMemory: releases an array made by ugn_GetMemory and resets its
// counters.
#include <cstdlib>

#include "ugn/ugn_int.h"

extern "C" void ugn_FreeMemory(int32_t* used, int32_t* allocated, void** block) {
    if (block != nullptr) {
        std::free(*block);
        *block = nullptr;
    }
    if (used != nullptr) *used = 0;
    if (allocated != nullptr) *allocated = 0;
}
