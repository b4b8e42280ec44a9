// Setting the origin db_ptr in an entity body.
#include "mda/mda_backptr_int.h"

extern "C" int32_t mda_SetOrigDbptr(uint32_t options, void* body, MDA_PTR origin) {
    if (body == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    auto* h = static_cast<MDA_ENTITY_HDR*>(body);
    // The origin counts as unset while it is the entity's own db_ptr.
    if ((options & MDA_ORIG_ALWAYS) != 0 || h->origin == h->own) h->origin = origin;
    return 0;
}
