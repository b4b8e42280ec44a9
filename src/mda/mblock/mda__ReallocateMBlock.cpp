#include <cstring>

#include "common/common_alloc.h"
#include "mda/mda_int.h"
#include "mvx/mpm.h"

// Resizes the block itself; links that lead to it are the caller's to fix,
// since the header may move. Bytes beyond the old size are zeroed, as in a
// freshly allocated block.
extern "C" int32_t mda__ReallocateMBlock(uint32_t /*options*/, MDA_MBLOCK* block, int32_t size,
                                         MDA_MBLOCK** out) {
    if (block == nullptr || out == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    if (int32_t status = mdamb::Check(block, 0)) return status;
    int32_t total = 0;
    if (int32_t status = mdamb::TotalSize(size, &total)) return status;
    const int32_t old_total = block->size;
    auto* moved = static_cast<MDA_MBLOCK*>(mvxc::Realloc(block, static_cast<size_t>(total)));
    if (moved == nullptr) return mpm__SetError(0, MDA_REALLOC_ERR, MPM_ERROR);
    if (total > old_total)
        std::memset(reinterpret_cast<char*>(moved) + old_total, 0,
                    static_cast<size_t>(total - old_total));
    moved->size = total;
    *out = moved;
    return 0;
}
