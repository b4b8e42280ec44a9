#include "mda/mda_int.h"
#include "mvx/mpm.h"

// A zeroed plain block, independent, with its size and marker set.
extern "C" int32_t mda__AllocateMBlock(uint32_t /*options*/, int32_t size, MDA_MBLOCK** block) {
    if (block == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    return mdamb::NewPlain(size, block);
}
