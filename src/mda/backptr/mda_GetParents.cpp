// The parents of an entity as a new array.
#include "mda/mda_backptr_int.h"

extern "C" int32_t mda_GetParents(uint32_t /*options*/, MDA_PTR db_ptr, int32_t* count,
                                  MDA_PTR** parents) {
    if (count == nullptr || parents == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    *count = 0;
    *parents = nullptr;
    MDA_MODEL* m = mdabp::AreaModel(db_ptr);
    if (m == nullptr || MDA_PTR_ENTITY(db_ptr) == 0) return 0;
    mdabp::ParentRecord r;
    const int32_t rc = mdabp::ReadRecord(m, db_ptr, &r);
    if (rc != 0) return rc;
    return mdabp::RecordParents(r, count, parents);
}
