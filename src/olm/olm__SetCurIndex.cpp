#include "olm/olm_int.h"

// Returns the element itself (its links, then the record); olm_GetObject is
// the operation that hands out the record. A position n >= 1 that is found
// resets the cycle index, so that the next olm_CycleList starts again at the
// head. A position that is not found leaves the current element and the
// cycle index as they were.
extern "C" void* olm__SetCurIndex(uint32_t /*options*/, OLM_LIST* list, int32_t position) {
    if (list == nullptr) {
        mpm__SetError(0, OLM_NULLPOINTER, MPM_ERROR);
        return nullptr;
    }
    int32_t status;
    OLM_ELEM* elem = olm::Locate(list, position, &status);
    if (elem == nullptr) return nullptr;
    list->current = elem;
    if (position >= 1) list->cycle = 0;
    return elem;
}
