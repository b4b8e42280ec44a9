/* EVM module internals. */
#ifndef MVX_EVM_INT_H
#define MVX_EVM_INT_H

#include <cstddef>

#include "mvx/evm.h"

static_assert(sizeof(EVM_CHECK) == 12 && offsetof(EVM_CHECK, kind) == 7 &&
              offsetof(EVM_CHECK, value_index) == 8 && offsetof(EVM_CHECK, tolerance_index) == 10);

/* The module's descriptor, copied into the registry by evm_Initialize. */
extern const MVX_MODULE evm_Module;

namespace evm {

/* Number of checks: a negative count or a null table holds none. */
inline int32_t Count(const EVM_TABLE* table) {
    return table == nullptr || table->count < 0 || table->checks == nullptr ? 0 : table->count;
}

/* True when index names an entry of the table's arrays. */
inline bool InRange(const EVM_TABLE* table, int32_t index) {
    return index >= 0 && index < Count(table);
}

/* The string slot of a string check, or null when it has none. */
inline char** StringSlot(const EVM_TABLE* table, const EVM_CHECK* check) {
    if (check->kind != EVM_VALUE_STRING || table->strings == nullptr ||
        !InRange(table, check->value_index))
        return nullptr;
    return &table->strings[check->value_index];
}

/* Issues CHECK_NOT_FOUND for the identifier and returns the code. */
int32_t NotFound(int32_t identifier);

/* The check, or CHECK_NOT_FOUND issued and null. */
EVM_CHECK* Require(const EVM_TABLE* table, int32_t identifier);

} // namespace evm

#endif
