#include "eam/eam_int.h"
#include "mvx/mpm.h"

extern "C" void* eam_CopyDefaultAttr(uint32_t /*options*/, EAM_STACK* stack) {
    if (stack == nullptr) {
        mpm__SetError(0, EAM_NULLPOINTER, MPM_ERROR);
        return nullptr;
    }
    const EAM_STACK_DEF* def = eam::Def(stack);
    return eam::CopyRecord(def->default_record, def->size);
}
