// Handing out the entities of a slot one by one.
#include "mda/mda_appdata_int.h"

extern "C" int32_t mda_CycleEntityList(MDA_ENTITY_LIST* list, int32_t slot, MDA_PTR* db_ptr) {
    if (list == nullptr || db_ptr == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    if (slot < 0 || slot >= list->slots)
        return mpm__SetError(0, MDA_INTERNAL_ERR, MPM_ERROR, "mda_CycleEntityList");
    *db_ptr = list->cursors[slot];
    if (*db_ptr == 0) return MDA_END_OF_LIST;
    mda::ListLinks links{};
    const int32_t rc = mda_ReadAppData(list->links, *db_ptr, &links);
    if (rc != 0) return rc;
    list->cursors[slot] = links.next;
    return 0;
}
