// Releasing an entity and its db_ptr.
#include "mda/mda_backptr_int.h"
#include "mda/mda_cache_int.h"

namespace {

// Drops the entity's own parent record (its list deleted first).
int32_t ClearParents(MDA_MODEL* m, MDA_PTR db_ptr) {
    if (m->parent_area == nullptr) return 0;
    mdabp::ParentRecord r;
    const int32_t rc = mdabp::ReadRecord(m, db_ptr, &r);
    if (rc != 0 || r.kind == mdabp::kNone) return rc;
    mdabp::ClearRecord(&r);
    return mdabp::WriteRecord(m, db_ptr, r);
}

} // namespace

extern "C" int32_t mda__FreePtr(uint32_t options, MDA_PTR db_ptr) {
    if (mda_IsValidDbptr2(0, db_ptr) == 0) return mpm__SetError(0, MDA_INVALID_PTR, MPM_ERROR);
    const int32_t model = MDA_PTR_MODEL(db_ptr);
    MDA_MODEL* m = &mda__Model[model];

    int32_t rc = 0;
    if (m->backptrs != 0) {
        if ((options & MDA_FREEPTR_WITH_PARENTS) == 0) {
            int32_t count = 0;
            mda_GetParentCount(0, db_ptr, &count);
            if (count != 0) return mpm__SetError(0, MDA_HAS_PARENTS, MPM_ERROR);
        }
        if ((options & MDA_FREEPTR_KEEP_CHILDREN) == 0 && (rc = mda_DeleteBackPtrs(0, db_ptr)) != 0)
            return rc;
    }
    MDA_PTR released = db_ptr;
    mda::CallEntityCallbacks(m, MDA_CB_RELEASED, &released);
    // A callback may have released the entity or its model.
    if (mda_IsValidDbptr2(0, db_ptr) == 0) return mpm__SetError(0, MDA_INVALID_PTR, MPM_ERROR);

    if ((options & (MDA_FREEPTR_KEEP_CHILDREN | MDA_FREEPTR_KEEP_PARENTS)) == 0)
        rc = ClearParents(m, db_ptr);
    const int32_t stored =
        mdac::ReleaseStorage(model, db_ptr, (options & MDA_FREEPTR_KEEP_BODY) != 0);
    const int32_t released_number =
        mda::ReleaseNumber(model, MDA_PTR_ENTITY(db_ptr), (options & MDA_FREEPTR_RESERVE) != 0);
    if (released_number == 0) --m->entity_count;
    mda__ZeroAppData(options, db_ptr);
    if (rc == 0) rc = stored;
    return rc != 0 ? rc : released_number;
}
