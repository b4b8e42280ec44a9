#include <cstdlib>

#include "eam/eam_int.h"
#include "mvx/mpm.h"

extern "C" void* eam_AddToAttrStack(uint32_t options, EAM_STACK* stack, const void* attributes) {
    if (stack == nullptr) {
        mpm__SetError(0, EAM_NULLPOINTER, MPM_ERROR);
        return nullptr;
    }
    void* record = eam::Apply(options, stack, attributes, 0);
    if (record == nullptr) return nullptr;
    void* stored = olm_AddObject(0, stack, OLM_HEAD, record);
    std::free(record);
    if (stored == nullptr) mpm__SetError(0, EAM_NOMEMORY, MPM_ERROR);
    return stored;
}
