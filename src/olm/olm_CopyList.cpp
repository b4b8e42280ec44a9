#include "olm/olm_int.h"

// The copy has the source's record size, records per block and user word and
// its records in the same order; its last record is current. The source's
// cycle is reset when the copy succeeds; a failed copy is deleted and leaves
// the source as it was.
extern "C" OLM_LIST* olm_CopyList(uint32_t /*options*/, OLM_LIST* list) {
    if (list == nullptr) {
        mpm__SetError(0, OLM_NULLPOINTER, MPM_ERROR);
        return nullptr;
    }
    OLM_LIST* copy = olm_CreateList(0, list->size, list->per_block, list->user);
    if (copy == nullptr) return nullptr;
    for (OLM_ELEM* elem = list->head; elem != nullptr; elem = elem->next) {
        if (olm::Append(copy, olm::Record(elem)) != 0) {
            olm_DeleteList(0, copy);
            return nullptr;
        }
    }
    list->cycle = 0;
    return copy;
}
