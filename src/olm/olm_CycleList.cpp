#include "olm/olm_int.h"

// The cycle index counts the records handed out in the running cycle. The
// first call of a cycle makes the head current; each later call moves to the
// current element's successor. When the index passes the count, the cycle
// ends with NULL and the next call starts a new one.
//
// An element added during a cycle becomes current, so the cycle goes on
// after it. When the current element has no successor although the count
// promises one (the current element was moved to the tail during the cycle),
// OLM_NULLPOINTER is reported, the cycle ends and the current element stays.
extern "C" void* olm_CycleList(uint32_t /*options*/, OLM_LIST* list) {
    if (list == nullptr) {
        mpm__SetError(0, OLM_NULLPOINTER, MPM_ERROR);
        return nullptr;
    }
    if (++list->cycle > list->count) {
        list->cycle = 0;
        return nullptr;
    }
    OLM_ELEM* next;
    if (list->cycle == 1) {
        next = list->head;
    } else {
        next = list->current != nullptr ? list->current->next : nullptr;
    }
    if (next == nullptr) {
        list->cycle = 0;
        mpm__SetError(0, OLM_NULLPOINTER, MPM_ERROR);
        return nullptr;
    }
    list->current = next;
    return olm::Record(next);
}
