#include <cstring>

#include "eam/eam_int.h"
#include "mvx/mpm.h"

extern "C" int32_t eam_InitAttrStack(uint32_t /*options*/, EAM_STACK* stack, const void* new_default) {
    if (stack == nullptr) return mpm__SetError(0, EAM_NULLPOINTER, MPM_ERROR);
    const EAM_STACK_DEF* def = eam::Def(stack);
    if (new_default != nullptr && new_default != def->default_record)
        std::memcpy(def->default_record, new_default, def->size);
    if (olm_RemoveAll(0, stack) != 0 || olm_AddObject(0, stack, OLM_HEAD, def->default_record) == nullptr)
        return mpm__LastError;
    return 0;
}
