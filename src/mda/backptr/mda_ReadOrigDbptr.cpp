// Reading an entity's origin db_ptr.
#include "mda/mda_backptr_int.h"

extern "C" int32_t mda_ReadOrigDbptr(uint32_t /*options*/, MDA_PTR db_ptr, MDA_PTR* origin) {
    if (origin == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    void* body = nullptr;
    const int32_t rc = mda_LockEntity(0, db_ptr, &body);
    if (rc != 0) return rc;
    *origin = static_cast<MDA_ENTITY_HDR*>(body)->origin;
    return mda_UnlockEntity(0, db_ptr);
}
