#include <cstdlib>

#include "common/common_alloc.h"
#include "olm/olm_int.h"

// A record size whose slot size would not fit in 32 bits is refused like a
// size of 0, with OLM_INVALIDSIZE and the size.
extern "C" OLM_LIST* olm_CreateList(uint32_t /*options*/, int32_t size, int32_t per_block,
                                    intptr_t user) {
    const int32_t slot_size = olm::SlotSize(size);
    if (slot_size == 0) {
        mpm__SetError(0, OLM_INVALIDSIZE, MPM_ERROR, size);
        return nullptr;
    }
    if (per_block <= 0) {
        mpm__SetError(0, OLM_INVALIDSIZE, MPM_ERROR, per_block);
        return nullptr;
    }
    auto* list = static_cast<OLM_LIST*>(mvxc::Calloc(1, sizeof(OLM_LIST)));
    if (list == nullptr) {
        mpm__SetError(0, OLM_NOMEMORY, MPM_ERROR);
        return nullptr;
    }
    list->blocks = nullptr;
    list->head = list->tail = list->free = list->current = nullptr;
    list->size = size;
    list->per_block = per_block;
    list->slot_size = slot_size;
    list->count = 0;
    list->cycle = 0;
    list->user = user;
    if (olm__CreateBlock(0, list) != 0) {
        std::free(list);
        return nullptr;
    }
    return list;
}
