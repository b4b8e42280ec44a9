// Deleting an entity with the entities that only it refers to.
#include <cstdlib>

#include "mda/mda_copy_int.h"

namespace {

struct Deletion {
    uint32_t options;
    MDA_PTR entity;
};

// A child shared with other parents is only detached (unless all go); any
// other child is deleted with its parent.
int32_t DeleteChild(void* context, void* element) {
    const auto* d = static_cast<const Deletion*>(context);
    const MDA_PTR child = mdabp::LoadPtr(element);
    if (MDA_PTR_ENTITY(child) == 0) return 0;
    int32_t parents = 0;
    mda_GetParentCount(0, child, &parents);
    if (parents > 1 && (d->options & MDA_DEEP_ALL) == 0)
        return mda_ModifyPtr(d->entity, 0, static_cast<MDA_PTR*>(element));
    return mda_DeepDeleteEntity((d->options & MDA_DEEP_ALL) != 0 ? d->options : 0, child);
}

} // namespace

extern "C" int32_t mda_DeepDeleteEntity(uint32_t options, MDA_PTR db_ptr) {
    if (MDA_PTR_ENTITY(db_ptr) == 0) return 0;
    int32_t count = 0;
    MDA_PTR* parents = nullptr;
    int32_t rc = mda_GetParents(0, db_ptr, &count, &parents);
    if (rc != 0) return rc;
    if (count > 1 && (options & (MDA_DEEP_SHARED | MDA_DEEP_ALL)) == 0) {
        std::free(parents);
        return 0;
    }
    if (count > 0) rc = mda_ModifyParents(0, count, parents, db_ptr, 0);
    std::free(parents);
    if (rc != 0) return rc;

    void* body = nullptr;
    if (mda_LockEntity(0, db_ptr, &body) != 0) return 0;
    Deletion d{options, db_ptr};
    if (mdabp::HasPointers(&mda__Model[MDA_PTR_MODEL(db_ptr)], body))
        rc = mdabp::ForEachPointer(body, DeleteChild, &d, true);
    if (rc != 0) {
        mda_UnlockEntity(MDA_UNLOCK_MODIFIED, db_ptr);
        return rc;
    }
    rc = mda__FreePtr((options & MDA_DEEP_ALL) != 0 ? options : 0, db_ptr);
    if (rc != 0) mda_UnlockEntity(0, db_ptr); // not released: the lock goes
    return rc;
}
