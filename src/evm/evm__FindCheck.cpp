#include "evm/evm_int.h"

extern "C" EVM_CHECK* evm__FindCheck(const EVM_TABLE* table, int32_t identifier) {
    int32_t low = 0, high = evm::Count(table) - 1;
    while (low <= high) {
        const int32_t mid = low + (high - low) / 2;
        EVM_CHECK* check = &table->checks[mid];
        if (check->identifier == identifier) return check;
        if (check->identifier < identifier)
            low = mid + 1;
        else
            high = mid - 1;
    }
    return nullptr;
}
