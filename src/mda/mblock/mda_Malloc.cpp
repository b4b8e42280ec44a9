#include "mda/mda_int.h"
#include "mvx/mpm.h"

extern "C" int32_t mda_Malloc(uint32_t /*options*/, void* owner, int32_t size, void** out) {
    if (out == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    MDA_MBLOCK* head = nullptr;
    if (int32_t status = mdamb::OwnerBlock(owner, &head)) return status;
    MDA_MBLOCK* block = nullptr;
    if (int32_t status = mdamb::NewPlain(size, &block)) return status;
    if (head != nullptr) mdamb::InsertAfter(head, block, out);
    *out = mdamb::DataOf(block);
    return 0;
}
