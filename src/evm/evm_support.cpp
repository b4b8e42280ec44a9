#include "evm/evm_int.h"
#include "mvx/mpm.h"

namespace evm {

int32_t NotFound(int32_t identifier) {
    return mpm__IssueError(0, EVM_CHECK_NOT_FOUND, MPM_WARNING, mpm_GetMsgName(identifier));
}

EVM_CHECK* Require(const EVM_TABLE* table, int32_t identifier) {
    EVM_CHECK* check = evm__FindCheck(table, identifier);
    if (check == nullptr) NotFound(identifier);
    return check;
}

} // namespace evm
