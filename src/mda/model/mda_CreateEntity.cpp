// Registering a body as a new entity.
#include "mda/mda_int.h"

namespace mda {

MDA_DIR_ENTRY* ReservedEntry(int32_t model, MDA_PTR db_ptr, int32_t* status) {
    if (MDA_PTR_MODEL(db_ptr) != model || mda_IsValidDbptr2(MDA_ACCEPT_RESERVED, db_ptr) == 0) {
        *status = mpm__SetError(0, MDA_INVALID_PTR, MPM_ERROR);
        return nullptr;
    }
    MDA_DIR_ENTRY* e = mda__GetEntDir(model, MDA_PTR_ENTITY(db_ptr));
    if (e == nullptr) {
        *status = mpm__LastError;
        return nullptr;
    }
    if (e->status != MDA_RESERVED) {
        *status = mpm__SetError(0, MDA_PTR_ALREADY_CREATED, MPM_ERROR, db_ptr);
        return nullptr;
    }
    return e;
}

MDA_DIR_ENTRY* NewEntry(uint32_t options, int32_t model, MDA_MODEL* m, const MDA_PTR* db_ptr,
                        NumberUndo* undo, int32_t* status) {
    if ((options & MDA_USE_DBPTR) != 0) {
        undo->number = MDA_PTR_ENTITY(*db_ptr);
        return ReservedEntry(model, *db_ptr, status);
    }
    if ((*status = TakeNumber(model, m, undo)) != 0) return nullptr;
    MDA_DIR_ENTRY* e = mda__GetEntDir(model, undo->number);
    if (e == nullptr) {
        *status = mpm__LastError;
        GiveBackNumber(m, *undo);
    }
    return e;
}

} // namespace mda

extern "C" int32_t mda_CreateEntity(uint32_t options, void* body, MDA_PTR* db_ptr) {
    if (body == nullptr || db_ptr == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    auto* h = static_cast<MDA_ENTITY_HDR*>(body);
    // Only a body that mda_MallocEntity2 made and nothing has registered:
    // an MBlock whose own db_ptr has entity number 0. A registered body
    // would get a second entry, and the model would free it twice.
    MDA_MBLOCK* block = nullptr;
    if (int32_t status = mdamb::Find(body, MDA_MBLOCK_PLAIN, &block)) return status;
    if (MDA_PTR_ENTITY(h->own) != 0)
        return mpm__SetError(0, MDA_PTR_ALREADY_CREATED, MPM_ERROR, h->own);
    const int32_t model = MDA_PTR_MODEL(h->own);
    int32_t rc = 0;
    MDA_MODEL* m = mda::ModelOrReport(model, &rc);
    if (m == nullptr) return rc;

    mda::NumberUndo undo;
    MDA_DIR_ENTRY* e = mda::NewEntry(options, model, m, db_ptr, &undo, &rc);
    if (e == nullptr) return rc;

    MDA_PTR ptr = MDA_MAKE_PTR(model, undo.number);
    // The list's link record may need memory: the one step that can fail.
    if ((rc = mda::EntityListAdd(m, h->tfi, ptr)) != 0) {
        if ((options & MDA_USE_DBPTR) == 0) mda::GiveBackNumber(m, undo);
        return rc;
    }
    e->dloc = mda::InitialDloc(m);
    e->status = 0;
    e->tf = h->tf;
    e->mloc = body;
    if (MDA_PTR_ENTITY(h->origin) == 0) h->origin = ptr;
    h->own = ptr;
    *db_ptr = ptr;
    mda::CallEntityCallbacks(m, 3, &ptr);
    ++m->entity_count;

    if ((options & MDA_ENTITY_LOCKED) != 0) {
        e->status = MDA_RWLOCK | MDA_MODIFIED | MDA_NEEDFLUSH | MDA_LOCK_ONE;
    } else if ((m->options & MDA_NO_DELAYED_WRITE) != 0) {
        mda::WriteEntityNow(ptr);
    } else {
        e->status = MDA_NEEDFLUSH;
    }
    if ((options & MDA_SET_BACKPTRS) != 0) return mda__SetBackPtrs(0, ptr);
    return 0;
}
