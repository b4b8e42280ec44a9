#include "olm/olm_int.h"

// After the removal the element that was current stays current; when it is
// the removed one, its successor becomes current, or its predecessor when it
// was the tail. The slot goes to the front of the free chain.
//
// A position that names no element because the list is empty (-1, -2, 0) is
// reported as OLM_INVALIDPOSITION with the position, like a position beyond
// the count, so that a removal that removed nothing never returns 0.
extern "C" int32_t olm_RemoveObject(uint32_t /*options*/, OLM_LIST* list, int32_t position) {
    if (list == nullptr) return mpm__SetError(0, OLM_NULLPOINTER, MPM_ERROR);
    int32_t status;
    OLM_ELEM* elem = olm::Locate(list, position, &status);
    if (elem == nullptr) {
        return status != 0 ? status : mpm__SetError(0, OLM_INVALIDPOSITION, MPM_ERROR, position);
    }

    olm::Unlink(list, elem);
    if (list->current == elem) list->current = elem->next != nullptr ? elem->next : elem->prev;
    elem->next = list->free;
    list->free = elem;
    --list->count;
    list->cycle = 0;
    return 0;
}
