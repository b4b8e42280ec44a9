// A new entity with a fresh body.
#include "mda/mda_int.h"

extern "C" int32_t mda_AllocateEntity2(uint32_t options, int32_t model, int32_t tf, void** body,
                                       MDA_PTR* db_ptr) {
    if (body != nullptr) *body = nullptr;
    if (db_ptr == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    int32_t status = 0;
    MDA_MODEL* m = mda::ModelOrReport(model, &status);
    if (m == nullptr) return status;

    // The body first: an unknown TF or a lack of memory uses up no number.
    void* made = nullptr;
    int32_t rc = mda__MallocEntity(0, m->ddf, tf, &made);
    if (rc != 0) return rc;
    auto* h = static_cast<MDA_ENTITY_HDR*>(made);
    // Defaults before a number is taken, so that their failure (an array
    // that cannot be allocated) uses up nothing; they do not depend on the
    // entity's number, only on its model.
    if ((options & MDA_FILL_DEFAULTS) != 0) {
        h->own = h->origin = MDA_MAKE_PTR(model, 0);
        rc = mda_DefaultEntity(0, made);
        if (rc != 0) {
            mda_Free(0, nullptr, made);
            return rc;
        }
    }

    mda::NumberUndo undo;
    MDA_DIR_ENTRY* e = mda::NewEntry(options, model, m, db_ptr, &undo, &rc);
    if (e == nullptr) {
        mda_Free(0, nullptr, made);
        return rc;
    }
    const MDA_PTR ptr = MDA_MAKE_PTR(model, undo.number);
    // mda__MallocEntity has set the header's TF and TFI.
    const int32_t tfi = h->tfi;
    // The list's link record may need memory: the one step that can fail.
    if ((rc = mda::EntityListAdd(m, tfi, ptr)) != 0) {
        if ((options & MDA_USE_DBPTR) == 0) mda::GiveBackNumber(m, undo);
        mda_Free(0, nullptr, made);
        return rc;
    }
    h->own = h->origin = ptr;

    e->dloc = mda::InitialDloc(m);
    e->tf = tf;
    e->mloc = made;
    e->status = MDA_NEW;
    *db_ptr = ptr;
    if (body != nullptr) *body = made;
    ++m->entity_count;

    if ((options & MDA_ENTITY_UNLOCKED) != 0) {
        if ((m->options & MDA_NO_DELAYED_WRITE) != 0) {
            mda::WriteEntityNow(ptr);
        } else {
            e->status |= MDA_NEEDFLUSH;
        }
    } else {
        e->status |= MDA_LOCK_ONE | MDA_RWLOCK | MDA_MODIFIED | MDA_NEEDFLUSH;
    }
    return 0;
}
