// The first db_ptr of a list whose entity has a TF.
#include "mda/mda_backptr_int.h"

extern "C" MDA_PTR mda_IsTFInList(int32_t tf, int32_t count, const MDA_PTR* list) {
    if (list == nullptr) return 0;
    for (int32_t i = 0; i < count; ++i) {
        if (mda_IsValidDbptr2(0, list[i]) == 0) {
            mpm__SetError(0, MDA_INVALID_PTR, MPM_ERROR);
            continue;
        }
        const MDA_DIR_ENTRY* e = mda__GetEntDir(MDA_PTR_MODEL(list[i]), MDA_PTR_ENTITY(list[i]));
        if (e != nullptr && e->tf == tf) return list[i];
    }
    return 0;
}
