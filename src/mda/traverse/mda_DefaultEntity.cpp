// Fills a body with its dictionary's defaults.
#include "mda/mda_int.h"
#include "mvx/mpm.h"

extern "C" int32_t mda_DefaultEntity(uint32_t /*options*/, void* body) {
    if (body == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    return mda_TraverseEntity(MDA_TRAV_ALLOCATE, body, mda__DefaultEntity);
}
