// Changing an entity's type.
#include "mda/mda_int.h"

extern "C" int32_t mda_SetTF(void* body, int32_t tf) {
    if (body == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    auto* h = static_cast<MDA_ENTITY_HDR*>(body);
    const int32_t model = MDA_PTR_MODEL(h->own);
    int32_t rc = 0;
    MDA_MODEL* m = mda::ModelOrReport(model, &rc);
    if (m == nullptr) return rc;
    const int32_t tfi = mda::FindTFI(m->ddf, tf);
    if (tfi < 0) return mpm__SetError(0, MDA_UNKNOWN_TF, MPM_ERROR);

    const int64_t n = MDA_PTR_ENTITY(h->own);
    if (n == 0) { // a body not yet registered: only the body changes
        h->tf = tf;
        h->tfi = tfi;
        return 0;
    }
    // Check everything before changing anything.
    if (mda_IsValidDbptr2(0, h->own) == 0) return mpm__SetError(0, MDA_INVALID_PTR, MPM_ERROR);
    MDA_DIR_ENTRY* e = mda__GetEntDir(model, n);
    if (e == nullptr) return mpm__LastError;
    if ((e->status & MDA_RWLOCK) == 0) return mpm__SetError(0, MDA_NOT_RWLOCKED, MPM_ERROR);

    rc = mda::EntityListMove(m, h->tfi, tfi, h->own);
    if (rc != 0) return rc;
    h->tf = tf;
    h->tfi = tfi;
    e->tf = tf;
    e->status |= MDA_MODIFIED | MDA_NEEDFLUSH;
    return 0;
}
