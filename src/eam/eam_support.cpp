#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "eam/eam_int.h"
#include "mvx/mpm.h"

namespace eam {

EAM_STACK* NewStack(const EAM_STACK_DEF& descriptor) {
    auto* copy = static_cast<EAM_STACK_DEF*>(mvxc::Malloc(sizeof(EAM_STACK_DEF)));
    if (copy == nullptr) {
        mpm__SetError(0, EAM_NOMEMORY, MPM_ERROR);
        return nullptr;
    }
    *copy = descriptor;
    copy->flags = 0;
    EAM_STACK* stack = olm_CreateList(0, static_cast<int32_t>(descriptor.size), kPerBlock,
                                      reinterpret_cast<intptr_t>(copy));
    if (stack == nullptr) {
        std::free(copy);
        mpm__SetError(0, EAM_NOMEMORY, MPM_ERROR);
    }
    return stack;
}

void DeleteStack(EAM_STACK* stack) {
    std::free(Def(stack));
    olm_DeleteList(0, stack);
}

void* CopyRecord(const void* record, uint64_t size) {
    void* copy = mvxc::Malloc(size);
    if (copy == nullptr) {
        mpm__SetError(0, EAM_NOMEMORY, MPM_ERROR);
        return nullptr;
    }
    std::memcpy(copy, record, size);
    return copy;
}

void* Apply(uint32_t options, EAM_STACK* stack, const void* attributes, uint32_t flag) {
    EAM_STACK_DEF* def = Def(stack);
    def->flags |= flag;
    void* record = def->apply(options, stack, attributes);
    def->flags &= ~flag;
    return record;
}

} // namespace eam
