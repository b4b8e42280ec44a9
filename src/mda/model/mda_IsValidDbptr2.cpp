// Whether a db_ptr names a live entity.
#include "mda/mda_int.h"

extern "C" int32_t mda_IsValidDbptr2(uint32_t flags, MDA_PTR db_ptr) {
    const int32_t model = MDA_PTR_MODEL(db_ptr);
    const int64_t n = MDA_PTR_ENTITY(db_ptr);
    const MDA_MODEL* m = mda::ModelAt(model);
    // Entity number 0 is the null reference in every model, although its
    // entry is a reserved one.
    if (m == nullptr || n == 0 || n >= m->next_entity) return 0;
    const MDA_DIR_ENTRY* e = mda__GetEntDir(model, n);
    if (e == nullptr || (e->status & MDA_DELETED) != 0) return 0;
    if ((e->status & MDA_RESERVED) != 0 && (flags & MDA_ACCEPT_RESERVED) == 0) return 0;
    return 1;
}
