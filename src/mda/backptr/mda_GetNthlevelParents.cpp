// The parents found some steps up an entity's first-parent chain.
#include <cstdlib>

#include "mda/mda_backptr_int.h"

extern "C" int32_t mda_GetNthlevelParents(uint32_t /*options*/, MDA_PTR db_ptr, int32_t level,
                                          int32_t* count, MDA_PTR** parents) {
    if (count == nullptr || parents == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    *count = 0;
    *parents = nullptr;
    MDA_PTR current = db_ptr;
    for (int32_t step = 1; step <= level; ++step) {
        const int32_t rc = mda_GetParents(0, current, count, parents);
        if (rc != 0 || *count == 0) return rc;
        if (step == level) break;
        current = (*parents)[0];
        std::free(*parents);
        *parents = nullptr;
        *count = 0;
    }
    return 0;
}
