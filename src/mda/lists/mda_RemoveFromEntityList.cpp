// Taking an entity out of a slot of an entity list.
#include "mda/mda_appdata_int.h"

namespace {

// Sets one link of a neighbour whose record exists (nothing is allocated).
void SetLink(MDA_APPDATA* links, MDA_PTR neighbour, bool next, MDA_PTR value) {
    mda::ListLinks record{};
    mda_ReadAppData(links, neighbour, &record);
    (next ? record.next : record.prev) = value;
    mda_WriteAppData(links, neighbour, &record);
}

} // namespace

extern "C" int32_t mda_RemoveFromEntityList(MDA_ENTITY_LIST* list, int32_t slot, MDA_PTR db_ptr) {
    if (list == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    if (slot < 0 || slot >= list->slots)
        return mpm__SetError(0, MDA_INTERNAL_ERR, MPM_ERROR, "mda_RemoveFromEntityList");
    if (list->counts[slot] == 0) return 0;
    mda::ListLinks links{};
    const int32_t rc = mda_ReadAppData(list->links, db_ptr, &links);
    if (rc != 0) return rc;
    // An entity without a predecessor must be this slot's head, one without
    // a successor its tail; anything else is not in the slot. (A middle
    // entity is taken to be in the slot named: checking would walk it.)
    if (links.prev == 0 && list->heads[slot] != db_ptr) return 0;
    if (links.next == 0 && list->tails[slot] != db_ptr) return 0;

    if (list->cursors[slot] == db_ptr) list->cursors[slot] = links.next;
    if (links.prev == 0)
        list->heads[slot] = links.next;
    else
        SetLink(list->links, links.prev, true, links.next);
    if (links.next != 0) SetLink(list->links, links.next, false, links.prev);
    if (list->tail_prevs[slot] == db_ptr) list->tail_prevs[slot] = links.prev;
    if (list->tails[slot] == db_ptr) {
        list->tails[slot] = links.prev;
        mda::ListLinks before{};
        if (links.prev != 0) mda_ReadAppData(list->links, links.prev, &before);
        list->tail_prevs[slot] = before.prev;
    }
    const mda::ListLinks cleared{};
    mda_WriteAppData(list->links, db_ptr, &cleared);
    --list->counts[slot];
    return 0;
}
