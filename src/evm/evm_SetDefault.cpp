#include <cstdlib>
#include <cstring>

#include "evm/evm_int.h"

extern "C" int32_t evm_SetDefault(EVM_TABLE* table, int32_t identifier, const void* value) {
    EVM_CHECK* check = evm::Require(table, identifier);
    if (check == nullptr) return EVM_CHECK_NOT_FOUND;
    if (value == nullptr || !evm::InRange(table, check->value_index)) return 0;
    if (check->kind == EVM_VALUE_INTEGER && table->integers != nullptr) {
        std::memcpy(&table->integers[check->value_index], value, sizeof(int32_t));
    } else if (check->kind == EVM_VALUE_DOUBLE && table->doubles != nullptr) {
        std::memcpy(&table->doubles[check->value_index], value, sizeof(double));
    } else if (char** slot = evm::StringSlot(table, check)) {
        char* text;
        std::memcpy(&text, value, sizeof text);
        if (text != *slot) std::free(*slot);
        *slot = text;
    }
    return 0;
}
