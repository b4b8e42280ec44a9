// Appending an entity to a slot of an entity list.
#include "mda/mda_appdata_int.h"

extern "C" int32_t mda_AddToEntityList(MDA_ENTITY_LIST* list, int32_t slot, MDA_PTR db_ptr) {
    if (list == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    if (slot < 0 || slot >= list->slots)
        return mpm__SetError(0, MDA_INTERNAL_ERR, MPM_ERROR, "mda_AddToEntityList");
    if (MDA_PTR_ENTITY(db_ptr) == 0) return mpm__SetError(0, MDA_INVALID_PTR, MPM_ERROR);
    mda::ListLinks links{};
    int32_t rc = mda_ReadAppData(list->links, db_ptr, &links);
    if (rc != 0) return rc;
    if (links.next != 0 || links.prev != 0 || list->heads[slot] == db_ptr)
        return mpm__SetError(0, MDA_DUPLICATE_ENTLIST_ENTRY, MPM_ERROR, db_ptr, db_ptr);

    const MDA_PTR tail = list->tails[slot];
    links = {0, tail};
    if ((rc = mda_WriteAppData(list->links, db_ptr, &links)) != 0) return rc;
    if (list->counts[slot] == 0) {
        list->heads[slot] = list->cursors[slot] = db_ptr;
    } else {
        const mda::ListLinks old_tail{db_ptr, list->tail_prevs[slot]};
        // The tail's block exists, so this write allocates nothing.
        mda_WriteAppData(list->links, tail, &old_tail);
    }
    list->tail_prevs[slot] = tail;
    list->tails[slot] = db_ptr;
    ++list->counts[slot];
    return 0;
}
