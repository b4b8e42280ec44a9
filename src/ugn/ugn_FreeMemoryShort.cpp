// ugn_FreeMemoryShort: releases an array made by ugn_GetMemoryShort.
#include <cstdlib>

#include "ugn/ugn_int.h"

extern "C" void ugn_FreeMemoryShort(void** block) {
    if (block == nullptr) return;
    std::free(*block);
    *block = nullptr;
}
