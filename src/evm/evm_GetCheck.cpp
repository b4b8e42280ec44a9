#include "evm/evm_int.h"

extern "C" int32_t evm_GetCheck(const EVM_TABLE* table, int32_t identifier, EVM_RESULT* result) {
    const EVM_CHECK* check = evm__FindCheck(table, identifier);
    if (check == nullptr) return evm::NotFound(identifier);
    if (result == nullptr) return 0;
    result->identifier = check->identifier;
    result->type = check->type;
    result->fix = check->fix;
    result->severity = check->severity;
    const bool has_value = evm::InRange(table, check->value_index);
    if (check->kind == EVM_VALUE_INTEGER && has_value && table->integers != nullptr)
        result->value.integer = table->integers[check->value_index];
    else if (check->kind == EVM_VALUE_DOUBLE && has_value && table->doubles != nullptr)
        result->value.real = table->doubles[check->value_index];
    else if (char** slot = evm::StringSlot(table, check))
        result->value.string = *slot;
    const bool own_tolerance = evm::InRange(table, check->tolerance_index) && table->doubles != nullptr;
    result->tolerance =
        own_tolerance ? table->doubles[check->tolerance_index] : table->default_tolerance;
    return 0;
}
