#include "eam/eam_int.h"
#include "mvx/mpm.h"

extern "C" void* eam_GetAppliedAttr(uint32_t options, EAM_STACK* stack, const void* attributes) {
    if (stack == nullptr) {
        mpm__SetError(0, EAM_NULLPOINTER, MPM_ERROR);
        return nullptr;
    }
    return eam::Apply(options, stack, attributes, EAM_IN_APPLIED);
}
