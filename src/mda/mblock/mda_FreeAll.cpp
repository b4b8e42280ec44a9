#include <cstdlib>

#include "mda/mda_int.h"
#include "mvx/mpm.h"

extern "C" int32_t mda_FreeAll(uint32_t /*options*/, void* body) {
    if (body == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    MDA_MBLOCK* head = nullptr;
    if (int32_t status = mdamb::OwnerBlock(body, &head)) return status;
    // Every header is checked before anything is freed, so that a broken
    // chain is reported and left as it was.
    for (MDA_MBLOCK* b = head->next; b != nullptr; b = b->next)
        if (int32_t status = mdamb::Check(b, 0)) return status;
    mdamb::FreeChain(head->next);
    head->next = nullptr;
    head->referrer = nullptr;
    mdamb::ClearFar(head);
    return 0;
}
