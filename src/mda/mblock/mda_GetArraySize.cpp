#include "mda/mda_int.h"
#include "mvx/mpm.h"

extern "C" int32_t mda_GetArraySize(int32_t kind, const void* pointer, int32_t* size) {
    if (size == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    if (pointer == nullptr) {
        *size = 0;
        return 0;
    }
    const bool array = kind != 1;
    MDA_MBLOCK* block = nullptr;
    if (int32_t status = mdamb::Find(pointer, array ? MDA_MBLOCK_ARRAY : MDA_MBLOCK_PLAIN, &block))
        return status;
    *size = block->size - mdamb::kHeader - (array ? mdamb::ArrayOf(block)->elem_offset : 0);
    return 0;
}
