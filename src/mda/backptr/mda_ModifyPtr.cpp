// Replacing the reference a pointer field holds.
#include "mda/mda_backptr_int.h"

extern "C" int32_t mda_ModifyPtr(MDA_PTR parent, MDA_PTR child, MDA_PTR* field) {
    if (field == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    const int32_t rc = mda_DeletePtr(parent, mdabp::LoadPtr(field));
    if (rc != 0) return rc;
    return mda_AddPtr(parent, child, field);
}
