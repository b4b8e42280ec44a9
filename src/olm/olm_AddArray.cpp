#include <cstddef>
#include <cstdint>

#include "olm/olm_int.h"

// The last array element is inserted at the position, then each earlier one
// at position 0, that is in front of the one inserted before it, so that the
// records stand in array order where the position pointed; the first array
// element ends up current.
//
// The slots for all count records are made ready before anything is
// inserted, so that running out of memory leaves the list's contents as they
// were (only its free chain may have grown). After that, only the first
// insertion can fail, on an invalid position, and nothing has been inserted
// by then either.
extern "C" int32_t olm_AddArray(uint32_t /*options*/, OLM_LIST* list, int32_t position,
                                int32_t count, const void* array) {
    if (list == nullptr || array == nullptr) return mpm__SetError(0, OLM_NULLPOINTER, MPM_ERROR);
    if (count <= 0) return mpm__SetError(0, OLM_INVALIDSIZE, MPM_ERROR, count);

    int64_t free_slots = 0;
    for (OLM_ELEM* slot = list->free; slot != nullptr && free_slots < count; slot = slot->next) {
        ++free_slots;
    }
    while (free_slots < count) {
        int32_t status = olm__CreateBlock(0, list);
        if (status != 0) return status;
        free_slots += list->per_block;
    }

    const auto* records = static_cast<const unsigned char*>(array);
    const std::size_t size = static_cast<std::size_t>(list->size);
    int32_t where = position;
    for (int32_t i = count - 1; i >= 0; --i) {
        if (olm_AddObject(0, list, where, records + static_cast<std::size_t>(i) * size) ==
            nullptr) {
            return mpm__LastError;
        }
        where = OLM_CURRENT;
    }
    return 0;
}
