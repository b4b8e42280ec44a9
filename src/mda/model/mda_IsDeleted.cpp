// Whether an entity was deleted.
#include "mda/mda_int.h"

extern "C" int32_t mda_IsDeleted(MDA_PTR db_ptr) {
    const int32_t model = MDA_PTR_MODEL(db_ptr);
    const int64_t n = MDA_PTR_ENTITY(db_ptr);
    const MDA_MODEL* m = mda::ModelAt(model);
    if (m == nullptr || n >= m->next_entity) return 0;
    const MDA_DIR_ENTRY* e = mda__GetEntDir(model, n);
    return e != nullptr && (e->status & MDA_DELETED) != 0 ? 1 : 0;
}
