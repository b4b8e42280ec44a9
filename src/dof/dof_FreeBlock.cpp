// Giving a block back to the free list. dof_freelist.cpp describes how the
// stretch is merged with its free neighbours.
#include "dof/dof_int.h"

extern "C" int32_t dof_FreeBlock(DOF_FILE* file, int64_t offset) {
    if (file->free_lists == 0) return 0;
    dof::BlockHeader header{};
    const int32_t rc = dof::ReadHeader(file, offset, &header);
    if (rc != 0) return rc;
    ++file->free_list->free_requests;
    const int32_t status = dof::ReturnSlot(file, offset - DOF_BLOCK_HEADER, header.capacity);
    if (status == 0) dof::KeepBlockInside(file, offset, header);
    return status;
}
