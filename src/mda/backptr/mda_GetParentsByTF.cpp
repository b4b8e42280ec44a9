// The parents of an entity that have one TF.
#include <cstdlib>

#include "mda/mda_backptr_int.h"

extern "C" int32_t mda_GetParentsByTF(uint32_t /*options*/, MDA_PTR db_ptr, int32_t tf,
                                      int32_t* count, MDA_PTR** parents) {
    const int32_t rc = mda_GetParents(0, db_ptr, count, parents);
    if (rc != 0 || *count == 0) return rc;
    int32_t kept = 0;
    for (int32_t i = 0; i < *count; ++i) {
        const MDA_PTR parent = (*parents)[i];
        if (mda_IsValidDbptr2(0, parent) == 0) {
            mpm__SetError(0, MDA_INVALID_PTR, MPM_ERROR);
            continue;
        }
        const MDA_DIR_ENTRY* e = mda__GetEntDir(MDA_PTR_MODEL(parent), MDA_PTR_ENTITY(parent));
        if (e != nullptr && e->tf == tf) (*parents)[kept++] = parent;
    }
    *count = kept;
    if (kept == 0) {
        std::free(*parents);
        *parents = nullptr;
    }
    return 0;
}
