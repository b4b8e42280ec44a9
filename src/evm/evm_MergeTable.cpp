#include <cstdlib>

#include "common/common_alloc.h"
#include "evm/evm_int.h"
#include "mvx/mpm.h"
#include "mvx/mvx.h"

extern "C" int32_t evm_MergeTable(uint32_t /*options*/, EVM_TABLE* destination, const EVM_TABLE* source) {
    const int32_t count = evm::Count(source);
    for (int32_t i = 0; i < count; ++i) {
        const EVM_CHECK& from = source->checks[i];
        EVM_CHECK* to = evm::Require(destination, from.identifier);
        if (to == nullptr) return EVM_CHECK_NOT_FOUND;
        to->type = from.type;
        to->fix = from.fix;
        to->severity = from.severity;
        const bool values = from.kind == to->kind && evm::InRange(source, from.value_index) &&
                            evm::InRange(destination, to->value_index);
        if (values && from.kind == EVM_VALUE_INTEGER && source->integers && destination->integers) {
            destination->integers[to->value_index] = source->integers[from.value_index];
        } else if (values && from.kind == EVM_VALUE_DOUBLE && source->doubles && destination->doubles) {
            destination->doubles[to->value_index] = source->doubles[from.value_index];
        } else if (values && from.kind == EVM_VALUE_STRING) {
            char** src = evm::StringSlot(source, &from);
            char** dst = evm::StringSlot(destination, to);
            if (src != nullptr && dst != nullptr && *src != *dst) {
                char* text = nullptr;
                if (*src != nullptr && (text = mvxc::StrDup(*src)) == nullptr)
                    return mpm__SetError(0, MVX_EXC_MEMORY, MPM_ERROR);
                std::free(*dst);
                *dst = text;
            }
        }
        if (from.tolerance_index > 0 && to->tolerance_index > 0 &&
            evm::InRange(source, from.tolerance_index) && evm::InRange(destination, to->tolerance_index) &&
            source->doubles != nullptr && destination->doubles != nullptr)
            destination->doubles[to->tolerance_index] = source->doubles[from.tolerance_index];
    }
    return 0;
}
