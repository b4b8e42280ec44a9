#include <cstdlib>

#include "eam/eam_int.h"
#include "mvx/mpm.h"

// The copy is made through the list's public operations: all records as one
// array, appended to a new list whose user word is a new descriptor copy.
extern "C" EAM_STACK* eam_CopyAttrStack(uint32_t /*options*/, EAM_STACK* stack) {
    if (stack == nullptr) {
        mpm__SetError(0, EAM_NULLPOINTER, MPM_ERROR);
        return nullptr;
    }
    EAM_STACK* copy = eam::NewStack(*eam::Def(stack));
    if (copy == nullptr) return nullptr;
    int32_t count = 0;
    void* records = olm_GetArray(0, stack, &count);
    const bool ok = count == 0 || (records != nullptr && olm_AddArray(0, copy, OLM_TAIL, count, records) == 0);
    std::free(records);
    if (!ok || count != stack->count) {
        eam::DeleteStack(copy);
        mpm__SetError(0, EAM_NOMEMORY, MPM_ERROR);
        return nullptr;
    }
    return copy;
}
