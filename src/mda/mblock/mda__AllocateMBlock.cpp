#include "common/common_alloc.h"
#include "mda/mda_int.h"
#include "mvx/mpm.h"

// A zeroed plain block, independent, with its size and marker set.
extern "C" int32_t mda__AllocateMBlock(uint32_t /*options*/, int32_t size, MDA_MBLOCK** block) {
    if (block == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    int32_t total = 0;
    if (int32_t status = mdamb::TotalSize(size, &total)) return status;
    auto* made = static_cast<MDA_MBLOCK*>(mvxc::Calloc(1, static_cast<size_t>(total)));
    if (made == nullptr) return mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
    made->size = total;
    made->marker = MDA_MBLOCK_MARKER;
    made->type = MDA_MBLOCK_PLAIN;
    made->flags = MDA_MBLOCK_INDEPENDENT;
    *block = made;
    return 0;
}
