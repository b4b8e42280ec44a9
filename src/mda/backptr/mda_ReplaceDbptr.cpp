// Moving an entity to a reserved db_ptr of its model.
#include "mda/mda_backptr_int.h"

namespace {

struct Move {
    MDA_PTR old_ptr;
    MDA_PTR new_ptr;
};

// The entity's references now come from the new db_ptr.
int32_t MoveReference(void* context, void* element) {
    const auto* move = static_cast<const Move*>(context);
    const MDA_PTR child = mdabp::LoadPtr(element);
    if (MDA_PTR_ENTITY(child) == 0) return 0;
    const int32_t rc = mda_DeletePtr(move->old_ptr, child);
    return rc != 0 ? rc : mda_AddPtr(move->new_ptr, child, nullptr);
}

// The checks, which change nothing: 0 or the reported failure.
int32_t Check(MDA_PTR old_ptr, MDA_PTR new_ptr) {
    const int32_t model = MDA_PTR_MODEL(old_ptr);
    if (model != MDA_PTR_MODEL(new_ptr)) return mpm__SetError(0, MDA_MODELS_DIFFER, MPM_ERROR);
    if (MDA_PTR_ENTITY(new_ptr) == 0 || mda_IsValidDbptr2(MDA_ACCEPT_RESERVED, new_ptr) == 0)
        return mpm__SetError(0, MDA_INVALID_PTR, MPM_ERROR);
    const MDA_DIR_ENTRY* target = mda__GetEntDir(model, MDA_PTR_ENTITY(new_ptr));
    if (target == nullptr) return mpm__LastError;
    if ((target->status & MDA_RESERVED) == 0)
        return mpm__SetError(0, MDA_ENTITY_NOT_DELETED, MPM_ERROR);
    if (mda_IsValidDbptr2(0, old_ptr) == 0) return mpm__SetError(0, MDA_INVALID_PTR, MPM_ERROR);
    const MDA_DIR_ENTRY* source = mda__GetEntDir(model, MDA_PTR_ENTITY(old_ptr));
    if (source == nullptr) return mpm__LastError;
    if ((source->status & MDA_RWLOCK) != 0) return mpm__SetError(0, MDA_INVALID_PTR, MPM_ERROR);
    return 0;
}

} // namespace

extern "C" int32_t mda_ReplaceDbptr(uint32_t /*options*/, MDA_PTR old_ptr, MDA_PTR new_ptr) {
    int32_t rc = Check(old_ptr, new_ptr);
    if (rc != 0) return rc;
    const int32_t model = MDA_PTR_MODEL(old_ptr);
    MDA_MODEL* m = &mda__Model[model];

    void* body = nullptr;
    if ((rc = mda_LockEntity(0, old_ptr, &body)) != 0) return rc;
    Move move{old_ptr, new_ptr};
    if (mdabp::HasPointers(m, body)) rc = mdabp::ForEachPointer(body, MoveReference, &move);
    if (rc != 0) {
        mda_UnlockEntity(0, old_ptr);
        return rc;
    }
    auto* h = static_cast<MDA_ENTITY_HDR*>(body);
    h->own = new_ptr;
    if (h->origin == old_ptr) mda_SetOrigDbptr(MDA_ORIG_ALWAYS, body, new_ptr);
    const int32_t tfi = h->tfi;
    if ((rc = mda_UnlockEntity(MDA_UNLOCK_MODIFIED, old_ptr)) != 0) return rc;

    mda::EntityListRemove(m, tfi, old_ptr);
    if ((rc = mda::EntityListAdd(m, tfi, new_ptr)) != 0) return rc;
    MDA_PTR released = old_ptr;
    mda::CallEntityCallbacks(m, MDA_CB_RELEASED, &released);

    // One entry at a time: a bounded directory may move its blocks.
    const MDA_DIR_ENTRY* source = mda__GetEntDir(model, MDA_PTR_ENTITY(old_ptr));
    if (source == nullptr) return mpm__LastError;
    const MDA_DIR_ENTRY moved = *source;
    MDA_DIR_ENTRY* target = mda__GetEntDir(model, MDA_PTR_ENTITY(new_ptr));
    if (target == nullptr) return mpm__LastError;
    *target = moved;
    const int32_t slot = moved.status & MDA_CACHE_SLOT_MASK;
    if (slot < m->cache_size && m->cache[slot].db_ptr == old_ptr) m->cache[slot].db_ptr = new_ptr;
    return mda::ReleaseNumber(model, MDA_PTR_ENTITY(old_ptr), false);
}
