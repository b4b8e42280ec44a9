#include <cstdlib>

#include "mda/mda_int.h"
#include "mvx/mpm.h"

namespace {

struct Range {
    uintptr_t from, to;
};

bool InRange(const void* context, uintptr_t referrer) {
    const auto* range = static_cast<const Range*>(context);
    return referrer >= range->from && referrer < range->to;
}

} // namespace

extern "C" int32_t mda_Free(uint32_t options, void* owner, void* pointer) {
    if (pointer == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    const bool array = (options & MDA_FREE_ARRAY) != 0;
    MDA_MBLOCK* block = nullptr;
    if (int32_t status = mdamb::Find(pointer, array ? MDA_MBLOCK_ARRAY : MDA_MBLOCK_PLAIN, &block))
        return status;
    MDA_MBLOCK* head = nullptr;
    if (int32_t status = mdamb::OwnerBlock(owner, &head)) return status;

    if (head == nullptr) {
        // A block of some entity's chain cannot be freed without its owner:
        // the chain would keep a link to freed memory.
        if ((block->flags & MDA_MBLOCK_INDEPENDENT) == 0)
            return mpm__SetError(0, MDA_BAD_MBLOCK, MPM_ERROR, static_cast<const void*>(block));
        if ((options & MDA_FREE_UNLINK) == 0) mdamb::FreeChain(block);
        return 0;
    }

    // The owner's own block, and blocks of other chains, are left alone.
    MDA_MBLOCK* prev = mdamb::FindPrev(head, block);
    if (prev == nullptr) return 0;
    mdamb::Unlink(prev, block);
    if ((head->flags & mdamb::kFarReferrer) == 0) {
        // Every referrer of the chain lies in the head, so no block is
        // referred to from inside this one: it leaves alone, and the chain's
        // referrers still all lie in the head.
        if ((options & MDA_FREE_UNLINK) == 0) mdamb::FreeBlock(block);
        return 0;
    }
    const Range released{mdamb::Addr(block), mdamb::EndOf(block)};
    if ((options & MDA_FREE_UNLINK) != 0) {
        // The blocks referred to from inside the unlinked one (and, in turn,
        // from those) leave with it, as the chain it now heads: the owner
        // keeps no referrer in memory it no longer owns, and freeing or
        // attaching the block takes them along.
        void** referrer = nullptr;
        block->next = mdamb::Detach(head, nullptr, InRange, &released, &referrer);
        block->referrer = referrer;
        mdamb::ResetFar(block);
        mdamb::ResetFar(head);
        return 0;
    }
    // One tight pass finds whether any block was referred to from inside the
    // freed one (only then is the general, slower sweep needed) and whether
    // any referrer is left outside the head.
    bool nested = false, far = false;
    for (MDA_MBLOCK* b = head; b != nullptr; b = b->next) {
        nested = nested || InRange(&released, mdamb::Addr(b->referrer));
        far = far || (b->referrer != nullptr && !mdamb::Inside(head, b->referrer));
    }
    if (nested) {
        mdamb::FreeUnreachable(head, nullptr, InRange, &released);
        mdamb::ResetFar(head);
    } else if (!far) {
        mdamb::ClearFar(head);
    }
    mdamb::FreeBlock(block);
    return 0;
}
