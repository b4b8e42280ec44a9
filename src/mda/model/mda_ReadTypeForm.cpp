// An entity's type and form.
#include "mda/mda_int.h"

extern "C" int32_t mda_ReadTypeForm(MDA_PTR db_ptr, int32_t* type, int32_t* form) {
    if (mda_IsValidDbptr2(0, db_ptr) == 0) return mpm__SetError(0, MDA_INVALID_PTR, MPM_ERROR);
    const MDA_DIR_ENTRY* e = mda__GetEntDir(MDA_PTR_MODEL(db_ptr), MDA_PTR_ENTITY(db_ptr));
    if (e == nullptr) return mpm__LastError;
    if (type != nullptr) *type = MVX_TF_TYPE(e->tf);
    if (form != nullptr) *form = static_cast<int16_t>(e->tf & 0xFFFF);
    return 0;
}
