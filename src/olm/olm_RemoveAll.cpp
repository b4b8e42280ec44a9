#include "olm/olm_int.h"

// The whole chain of elements becomes the front of the free chain in one
// step; the blocks stay allocated for the records to come.
extern "C" int32_t olm_RemoveAll(uint32_t /*options*/, OLM_LIST* list) {
    if (list == nullptr) return mpm__SetError(0, OLM_NULLPOINTER, MPM_ERROR);
    if (list->head != nullptr) {
        list->tail->next = list->free;
        list->free = list->head;
    }
    list->head = list->tail = list->current = nullptr;
    list->count = 0;
    list->cycle = 0;
    return 0;
}
