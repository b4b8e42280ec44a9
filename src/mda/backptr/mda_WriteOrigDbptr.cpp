// Writing an entity's origin db_ptr.
#include "mda/mda_backptr_int.h"

extern "C" int32_t mda_WriteOrigDbptr(uint32_t options, MDA_PTR db_ptr, MDA_PTR origin) {
    void* body = nullptr;
    const int32_t rc = mda_LockEntity(0, db_ptr, &body);
    if (rc != 0) return rc;
    mda_SetOrigDbptr(options, body, origin);
    return mda_UnlockEntity(MDA_UNLOCK_MODIFIED, db_ptr);
}
