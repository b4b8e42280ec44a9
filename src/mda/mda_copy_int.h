/* MDA internals of copying and deep deletion (src/mda/copy). */
#ifndef MVX_MDA_COPY_INT_H
#define MVX_MDA_COPY_INT_H

#include "mda/mda_backptr_int.h"
#include "mvx/olm.h"

namespace mdacp {

/* The block of count objects of size bytes that CopyFromOList and
 * CopyFromOTree fill: owned by entity, its address stored in *array (the
 * pointer must lie in the entity's blocks) and in *out; *count set. A
 * count of 0 gives a null array and *out null; so does a failure. Returns
 * 0, MDA_NULL_MEMPTR (null entity, count or array) or the allocation's
 * failure (MDA_MALLOC_ERR also for a size that overflows). */
int32_t OwnedArray(void* entity, int32_t count, int32_t size, int32_t* count_out, void** array,
                   char** out);

/* Option 2 of the copies: the entity's back-pointers recorded anew, since
 * the array may hold db_ptrs. */
int32_t AfterCopy(uint32_t options, void* entity);

/* The whole of CopyFromOList and CopyFromOTree: the owned array for the
 * container's count objects of size bytes (a null container is
 * MDA_NULL_MEMPTR), filled by fill(first byte), then option 2. */
template <typename Fill>
int32_t CopyOut(uint32_t options, void* entity, const void* container, int32_t count, int32_t size,
                int32_t* count_out, void** array, Fill fill) {
    char* out = nullptr;
    const int32_t rc = container == nullptr
                           ? mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR)
                           : OwnedArray(entity, count, size, count_out, array, &out);
    if (out == nullptr) return rc;
    fill(out);
    return AfterCopy(options, entity);
}

} // namespace mdacp

#endif
