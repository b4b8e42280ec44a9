#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "mda/mda_int.h"
#include "mvx/mpm.h"

// A new block replaces the old one in the chain; the old block is freed.
//
// Order matters for the failure path and for the chain: the new block is
// allocated first (a failure changes nothing); then the blocks referred to
// from the bytes that the new size drops are freed (their referrers would
// otherwise be moved past the new block's end); then the referrers inside
// the kept bytes are relocated and the new block takes the old one's place.
namespace {

struct Dropped {
    uintptr_t from, to;
};

bool InDropped(const void* context, uintptr_t referrer) {
    const auto* range = static_cast<const Dropped*>(context);
    return referrer >= range->from && referrer < range->to;
}

} // namespace

extern "C" int32_t mda_Realloc(uint32_t /*options*/, void* owner, void* old_data, int32_t size,
                               void** out) {
    if (old_data == nullptr || out == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    MDA_MBLOCK* old = nullptr;
    if (int32_t status = mdamb::Find(old_data, MDA_MBLOCK_PLAIN, &old)) return status;
    MDA_MBLOCK* head = nullptr;
    if (int32_t status = mdamb::ReallocChain(owner, old, true, &head)) return status;

    int32_t total = 0;
    if (int32_t status = mdamb::TotalSize(size, &total)) return status;
    auto* moved = static_cast<MDA_MBLOCK*>(mvxc::Calloc(1, static_cast<size_t>(total)));
    if (moved == nullptr) return mpm__SetError(0, MDA_REALLOC_ERR, MPM_ERROR);
    moved->size = total;
    moved->marker = MDA_MBLOCK_MARKER;
    moved->type = MDA_MBLOCK_PLAIN;
    moved->flags = old->flags;
    const int64_t old_bytes = old->size - mdamb::kHeader;
    const int64_t kept = std::min<int64_t>(old_bytes, size);
    std::memcpy(mdamb::DataOf(moved), old_data, static_cast<size_t>(kept));

    // A pointer is kept only when all of it lies in the kept bytes.
    const uintptr_t kept_end = mdamb::Addr(old_data) + static_cast<uintptr_t>(kept);
    const uintptr_t cut = kept >= static_cast<int64_t>(sizeof(void*)) ? kept_end - sizeof(void*) + 1
                                                                      : mdamb::Addr(old_data);
    const Dropped dropped{cut, mdamb::EndOf(old)};
    if (dropped.from < dropped.to) mdamb::FreeUnreachable(head, old, InDropped, &dropped);
    mda__RelocatePtrs(head, old_data, old, mdamb::DataOf(moved), moved);
    *out = mdamb::DataOf(moved);
    std::free(old);
    return 0;
}
