// Counting an entity's parent-list entries.
#include "mda/mda_backptr_int.h"

extern "C" int32_t mda_GetParentCount(uint32_t /*options*/, MDA_PTR db_ptr, int32_t* count) {
    if (count == nullptr) return 0;
    *count = 0;
    MDA_MODEL* m = mdabp::AreaModel(db_ptr);
    mdabp::ParentRecord r;
    if (m == nullptr || MDA_PTR_ENTITY(db_ptr) == 0 || MDA_PTR_ENTITY(db_ptr) >= m->next_entity ||
        mda_ReadAppData(mdabp::Area(m), db_ptr, &r) != 0)
        return 0;
    *count = r.kind == mdabp::kSingle ? 1 : r.kind == mdabp::kList ? mdabp::ListOf(r)->count : 0;
    return 0;
}
