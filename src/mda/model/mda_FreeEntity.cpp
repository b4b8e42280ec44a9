// Freeing an entity's body with everything chained to it.
#include "mda/mda_int.h"

extern "C" int32_t mda_FreeEntity(uint32_t /*options*/, void* body) {
    if (body == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    return mda_Free(0, nullptr, body);
}
