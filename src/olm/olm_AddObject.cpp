#include "olm/olm_int.h"

// Insertion finds the new element's predecessor:
//   -1     none: the new element becomes the head;
//   -2     the tail;
//    0     the current element's predecessor, so that the new element goes in
//          front of the current one (on an empty list: none);
//    1     none;
//   n >= 2 the (n-1)-th element, so that the new element becomes the n-th.
// The lookup for n >= 2 is the one of olm__SetCurIndex and reports
// OLM_INVALIDPOSITION with n - 1 when it fails; the insertion then reports
// OLM_INVALIDPOSITION with n as well, unless the list is empty, in which case
// the record is inserted as the only element. The lookup itself neither moves
// the current element nor touches the cycle index: adding never restarts a
// running cycle. Positions below -2 are refused with OLM_INVALIDPOSITION.
//
// The common case (a free slot at hand, position -2 .. 1) is kept apart from
// the rest so that it compiles to a short path without register saves.
namespace {

[[gnu::noinline, gnu::cold]] void* AddSlow(OLM_LIST* list, int32_t position, const void* record) {
    if (list == nullptr) {
        mpm__SetError(0, OLM_NULLPOINTER, MPM_ERROR);
        return nullptr;
    }
    if (list->free == nullptr && olm__CreateBlock(0, list) != 0) return nullptr;

    OLM_ELEM* pred;
    switch (position) {
    case OLM_HEAD:
    case 1:
        pred = nullptr;
        break;
    case OLM_TAIL:
        pred = list->tail;
        break;
    case OLM_CURRENT:
        pred = list->current != nullptr ? list->current->prev : nullptr;
        break;
    default:
        if (position < OLM_TAIL) {
            mpm__SetError(0, OLM_INVALIDPOSITION, MPM_ERROR, position);
            return nullptr;
        }
        int32_t status;
        pred = olm::Locate(list, position - 1, &status);
        if (pred == nullptr && list->count != 0) {
            mpm__SetError(0, OLM_INVALIDPOSITION, MPM_ERROR, position);
            return nullptr;
        }
        break;
    }
    return olm::InsertAfter(list, pred, record);
}

} // namespace

extern "C" void* olm_AddObject(uint32_t /*options*/, OLM_LIST* list, int32_t position,
                               const void* record) {
    if (list == nullptr || list->free == nullptr || position < OLM_TAIL || position > 1) {
        return AddSlow(list, position, record);
    }
    // The neighbours are known without walking: -1 and 1 go in front of the
    // head, -2 after the tail, 0 in front of the current element (which is
    // null only on an empty list, where head and tail are null as well).
    if (position == OLM_TAIL) return olm::Insert(list, list->tail, nullptr, record);
    if (position == OLM_CURRENT) {
        OLM_ELEM* current = list->current;
        return olm::Insert(list, current != nullptr ? current->prev : nullptr, current, record);
    }
    return olm::Insert(list, nullptr, list->head, record);
}
