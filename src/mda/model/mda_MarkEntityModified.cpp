// Marking a locked entity modified.
#include "mda/mda_int.h"

extern "C" int32_t mda_MarkEntityModified(uint32_t /*options*/, MDA_PTR db_ptr) {
    if (mda_IsValidDbptr2(0, db_ptr) == 0) return mpm__SetError(0, MDA_INVALID_PTR, MPM_ERROR);
    MDA_DIR_ENTRY* e = mda__GetEntDir(MDA_PTR_MODEL(db_ptr), MDA_PTR_ENTITY(db_ptr));
    if (e == nullptr) return mpm__LastError;
    if ((e->status & MDA_RWLOCK) == 0) return mpm__SetError(0, MDA_NOT_RWLOCKED, MPM_ERROR);
    e->status |= MDA_MODIFIED | MDA_NEEDFLUSH;
    return 0;
}
