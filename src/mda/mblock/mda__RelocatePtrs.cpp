#include "mda/mda_int.h"
#include "mvx/mpm.h"

// After a plain block moved from old_data to new_data: every referrer of the
// owner's chain that lies in the old block's data moves by the same
// distance, and the new block takes the old one's place in the chain (its
// next block and the referrer of that next block). The old block is left
// for the caller to free. The chain's kFarReferrer is recomputed.
extern "C" int32_t mda__RelocatePtrs(MDA_MBLOCK* owner, void* old_data, MDA_MBLOCK* old,
                                     void* new_data, MDA_MBLOCK* moved) {
    if (old_data == nullptr || old == nullptr || new_data == nullptr || moved == nullptr)
        return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    const uintptr_t from = mdamb::Addr(old_data), to = mdamb::EndOf(old);
    const uintptr_t delta = mdamb::Addr(new_data) - from; // modulo 2^64
    MDA_MBLOCK* head = owner != nullptr ? owner : old;
    for (MDA_MBLOCK* b = head; b != nullptr; b = b->next) {
        const uintptr_t referrer = mdamb::Addr(b->referrer);
        if (referrer >= from && referrer < to)
            b->referrer = reinterpret_cast<void**>(referrer + delta);
    }
    mdamb::Replace(head, old, moved);
    // A head that moved takes its flags along; either way the walk above
    // may have moved referrers, so the chain's far-referrer flag is made
    // exact again.
    mdamb::ResetFar(head == old ? moved : head);
    return 0;
}
