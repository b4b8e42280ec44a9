#include "mda/mda_int.h"
#include "mvx/mpm.h"

// Only a block that belongs to nothing can be attached: not a block of some
// chain, not the body itself, and not a body that heads a chain of its own
// (its chain would be cut off).
extern "C" int32_t mda_AddMemory(uint32_t options, void* body, void* pointer, void** referrer) {
    if (body == nullptr || pointer == nullptr || referrer == nullptr)
        return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    MDA_MBLOCK* head = nullptr;
    if (int32_t status = mdamb::OwnerBlock(body, &head)) return status;
    const bool array = (options & MDA_ADD_ARRAY) != 0;
    MDA_MBLOCK* block = mdamb::HeaderOf(pointer, array);
    if (int32_t status = mdamb::Check(block, array ? MDA_MBLOCK_ARRAY : MDA_MBLOCK_PLAIN))
        return status;
    if ((block->flags & MDA_MBLOCK_INDEPENDENT) == 0 || block == head || block->next != nullptr)
        return mpm__SetError(0, MDA_NOT_IND_MBLOCK, MPM_ERROR);
    *referrer = pointer;
    mdamb::InsertAfter(head, block, referrer);
    return 0;
}
