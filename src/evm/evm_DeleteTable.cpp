#include <cstdlib>

#include "evm/evm_int.h"

extern "C" int32_t evm_DeleteTable(uint32_t /*options*/, EVM_TABLE* table) {
    if (table == nullptr) return 0;
    if (table->strings != nullptr) {
        for (int32_t i = 0; i < table->count; ++i) std::free(table->strings[i]);
        std::free(table->strings);
    }
    std::free(table->checks);
    std::free(table->integers);
    std::free(table->doubles);
    std::free(table);
    return 0;
}
