#include <cstdlib>

#include "evm/evm_int.h"

static int CompareChecks(const void* a, const void* b) {
    const int32_t x = static_cast<const EVM_CHECK*>(a)->identifier;
    const int32_t y = static_cast<const EVM_CHECK*>(b)->identifier;
    return (x > y) - (x < y);
}

extern "C" int32_t evm_InitializeTable(uint32_t /*options*/, EVM_TABLE* table) {
    const int32_t count = evm::Count(table);
    if (count > 1) std::qsort(table->checks, static_cast<size_t>(count), sizeof(EVM_CHECK), CompareChecks);
    return 0;
}
