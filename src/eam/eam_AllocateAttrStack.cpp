#include <cstdint>

#include "eam/eam_int.h"
#include "mvx/mpm.h"

extern "C" EAM_STACK* eam_AllocateAttrStack(uint32_t /*options*/, const EAM_STACK_DEF* descriptor) {
    if (descriptor == nullptr || descriptor->apply == nullptr || descriptor->default_record == nullptr) {
        mpm__SetError(0, EAM_NULLPOINTER, MPM_ERROR);
        return nullptr;
    }
    // The list stores records of up to INT32_MAX bytes with 16 bytes of links.
    if (descriptor->size == 0 || descriptor->size > static_cast<uint64_t>(INT32_MAX - 16)) {
        mpm__SetError(0, EAM_INVALIDSIZE, MPM_ERROR, static_cast<int>(descriptor->size));
        return nullptr;
    }
    EAM_STACK* stack = eam::NewStack(*descriptor);
    if (stack == nullptr) return nullptr;
    if (olm_AddObject(0, stack, OLM_HEAD, descriptor->default_record) == nullptr) {
        eam::DeleteStack(stack);
        mpm__SetError(0, EAM_NOMEMORY, MPM_ERROR);
        return nullptr;
    }
    return stack;
}
