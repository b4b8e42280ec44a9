#include "evm/evm_int.h"

extern "C" int32_t evm_SetType(EVM_TABLE* table, int32_t identifier, uint8_t type) {
    EVM_CHECK* check = evm::Require(table, identifier);
    if (check == nullptr) return EVM_CHECK_NOT_FOUND;
    check->type = type;
    return 0;
}
