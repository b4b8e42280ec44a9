// The used size of a block, from its header.
#include "dof/dof_int.h"

extern "C" int32_t dof_GetBlockSize(DOF_FILE* file, int64_t offset, uint32_t* size) {
    // Only files with free lists put headers in front of their blocks.
    if (file->free_lists == 0) return dof::Fail(DOF_BAD_OFFSET, file);
    dof::BlockHeader header{};
    const int32_t rc = dof::ReadHeader(file, offset, &header);
    if (rc != 0) return rc;
    dof::KeepBlockInside(file, offset, header);
    *size = header.used;
    return 0;
}
