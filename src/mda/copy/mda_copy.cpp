// What the copying operations share.
#include "mda/mda_copy_int.h"

namespace mdacp {

int32_t OwnedArray(void* entity, int32_t count, int32_t size, int32_t* count_out, void** array,
                   char** out) {
    if (entity == nullptr || count_out == nullptr || array == nullptr)
        return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    *count_out = count;
    *array = nullptr;
    *out = nullptr;
    if (count <= 0) return 0;
    const int64_t bytes = static_cast<int64_t>(count) * size;
    if (bytes > INT32_MAX - MDA_MBLOCK_HDR_SIZE - 8)
        return mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
    const int32_t rc = mda_Malloc(0, entity, static_cast<int32_t>(bytes), array);
    if (rc != 0) {
        *count_out = 0;
        return rc;
    }
    *out = static_cast<char*>(*array);
    return 0;
}

int32_t AfterCopy(uint32_t options, void* entity) {
    if ((options & MDA_COPY_SET_BACKPTRS) == 0) return 0;
    return mda__SetBackPtrs(0, static_cast<MDA_ENTITY_HDR*>(entity)->own);
}

} // namespace mdacp
