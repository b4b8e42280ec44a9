// The model's own entity list: one slot per dictionary type (by TFI).
#include "mda/mda_appdata_int.h"

namespace mda {

int32_t CreateEntityList(int32_t model, MDA_MODEL* m) {
    MDA_ENTITY_LIST* list = nullptr;
    const int32_t rc = MakeEntityList(m->ddf->type_count, model, &list);
    m->entity_list = list;
    return rc;
}

void FreeEntityList(MDA_MODEL* m) {
    mda_FreeEntityList(static_cast<MDA_ENTITY_LIST*>(m->entity_list));
    m->entity_list = nullptr;
}

int32_t EntityListAdd(MDA_MODEL* m, int32_t tfi, MDA_PTR db_ptr) {
    return mda_AddToEntityList(static_cast<MDA_ENTITY_LIST*>(m->entity_list), tfi, db_ptr);
}

int32_t EntityListRemove(MDA_MODEL* m, int32_t tfi, MDA_PTR db_ptr) {
    return mda_RemoveFromEntityList(static_cast<MDA_ENTITY_LIST*>(m->entity_list), tfi, db_ptr);
}

// Both slots' records exist once the entity is listed, so the append after
// the removal allocates nothing and cannot fail.
int32_t EntityListMove(MDA_MODEL* m, int32_t old_tfi, int32_t new_tfi, MDA_PTR db_ptr) {
    auto* list = static_cast<MDA_ENTITY_LIST*>(m->entity_list);
    if (old_tfi == new_tfi) return 0;
    const int32_t rc = mda_RemoveFromEntityList(list, old_tfi, db_ptr);
    if (rc != 0) return rc;
    return mda_AddToEntityList(list, new_tfi, db_ptr);
}

} // namespace mda
