#include "eam/eam_int.h"
#include "mvx/mpm.h"

extern "C" void* eam_CopyCurrentAttr(uint32_t /*options*/, EAM_STACK* stack) {
    const void* current = stack != nullptr ? olm_GetObject(0, stack, OLM_HEAD) : nullptr;
    if (current == nullptr) {
        mpm__SetError(0, EAM_NULLPOINTER, MPM_ERROR);
        return nullptr;
    }
    return eam::CopyRecord(current, eam::Def(stack)->size);
}
