#include <cstddef>

#include "common/common_alloc.h"
#include "olm/olm_int.h"

// Makes one block of per_block slots and puts its slots, in address order, in
// front of the free chain. The free chain is empty whenever the list itself
// asks for a block; should a caller make a block while free slots remain,
// those slots follow the new ones instead of being lost.
extern "C" int32_t olm__CreateBlock(uint32_t /*options*/, OLM_LIST* list) {
    if (list == nullptr) return mpm__SetError(0, OLM_NULLPOINTER, MPM_ERROR);
    if (list->slot_size == 0) {
        int32_t slot_size = olm::SlotSize(list->size);
        if (slot_size == 0) return mpm__SetError(0, OLM_INVALIDSIZE, MPM_ERROR, list->size);
        list->slot_size = slot_size;
    }
    if (list->per_block <= 0) return mpm__SetError(0, OLM_INVALIDSIZE, MPM_ERROR, list->per_block);

    const std::size_t slot_size = static_cast<std::size_t>(list->slot_size);
    const std::size_t per_block = static_cast<std::size_t>(list->per_block);
    auto* block =
        static_cast<unsigned char*>(mvxc::Malloc(olm::kBlockHeader + slot_size * per_block));
    if (block == nullptr) return mpm__SetError(0, OLM_NOMEMORY, MPM_ERROR);

    olm::PreviousBlock(block) = list->blocks;
    list->blocks = block;

    unsigned char* slot = block + olm::kBlockHeader;
    auto* first = reinterpret_cast<OLM_ELEM*>(slot);
    for (std::size_t i = 1; i < per_block; ++i, slot += slot_size) {
        reinterpret_cast<OLM_ELEM*>(slot)->next = reinterpret_cast<OLM_ELEM*>(slot + slot_size);
    }
    reinterpret_cast<OLM_ELEM*>(slot)->next = list->free;
    list->free = first;
    return 0;
}
