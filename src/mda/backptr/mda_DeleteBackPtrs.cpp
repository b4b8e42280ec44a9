// Taking an entity out of the parent lists of the entities it refers to.
#include "mda/mda_backptr_int.h"

namespace {

int32_t Unrecord(void* context, void* element) {
    const MDA_PTR child = mdabp::LoadPtr(element);
    if (MDA_PTR_ENTITY(child) == 0 || mda_IsDeleted(child) != 0) return 0;
    return mda_DeletePtr(*static_cast<MDA_PTR*>(context), child);
}

} // namespace

extern "C" int32_t mda_DeleteBackPtrs(uint32_t /*options*/, MDA_PTR db_ptr) {
    MDA_MODEL* m = mda::ModelAt(MDA_PTR_MODEL(db_ptr));
    if (m == nullptr || m->parent_area == nullptr) return 0;
    void* body = nullptr;
    int32_t rc = mda_LockEntity(0, db_ptr, &body);
    if (rc != 0) return rc;
    if (mdabp::HasPointers(m, body)) rc = mdabp::ForEachPointer(body, Unrecord, &db_ptr);
    const int32_t unlocked = mda_UnlockEntity(0, db_ptr);
    return rc != 0 ? rc : unlocked;
}
