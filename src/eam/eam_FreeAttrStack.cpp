#include "eam/eam_int.h"
#include "mvx/mpm.h"

extern "C" int32_t eam_FreeAttrStack(uint32_t /*options*/, EAM_STACK* stack) {
    if (stack == nullptr) return mpm__SetError(0, EAM_NULLPOINTER, MPM_ERROR);
    eam::DeleteStack(stack);
    return 0;
}
