#include "mda/mda_int.h"
#include "mvx/mpm.h"

// Only a block that belongs to nothing can be attached: not a block of some
// chain and not the body itself. A block that heads a chain of its own (a
// block unlinked with the blocks it refers to, or a body) is attached with
// its whole chain, which goes in between the body and the body's old
// successor.
extern "C" int32_t mda_AddMemory(uint32_t options, void* body, void* pointer, void** referrer) {
    if (body == nullptr || pointer == nullptr || referrer == nullptr)
        return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    MDA_MBLOCK* head = nullptr;
    if (int32_t status = mdamb::OwnerBlock(body, &head)) return status;
    const bool array = (options & MDA_ADD_ARRAY) != 0;
    MDA_MBLOCK* block = nullptr;
    if (int32_t status = mdamb::Find(pointer, array ? MDA_MBLOCK_ARRAY : MDA_MBLOCK_PLAIN, &block))
        return status;
    if ((block->flags & MDA_MBLOCK_INDEPENDENT) == 0 || block == head)
        return mpm__SetError(0, MDA_NOT_IND_MBLOCK, MPM_ERROR);
    MDA_MBLOCK* last = block;
    bool far = false; // a referrer of the attached chain outside the body
    for (; last->next != nullptr; last = last->next) {
        // The body inside the block's chain would make the chain a loop.
        if (last->next == head) return mpm__SetError(0, MDA_NOT_IND_MBLOCK, MPM_ERROR);
        if (int32_t status = mdamb::Check(last->next, 0)) return status;
        far = far || !mdamb::Inside(head, last->referrer);
    }
    *referrer = pointer;
    last->referrer = head->referrer;
    last->next = head->next;
    block->flags =
        static_cast<uint8_t>(block->flags & ~(MDA_MBLOCK_INDEPENDENT | mdamb::kFarReferrer));
    head->referrer = referrer;
    head->next = block;
    if (far) head->flags = static_cast<uint8_t>(head->flags | mdamb::kFarReferrer);
    mdamb::NoteReferrer(head, referrer);
    return 0;
}
