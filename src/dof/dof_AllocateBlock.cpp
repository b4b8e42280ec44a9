// Handing out a block of the file: from the free list (first fit in address
// order) or at the end offset. dof_freelist.cpp describes the free list.
#include "dof/dof_int.h"

namespace {

// Writes a block header in front of the block at offset.
int32_t WriteHeader(DOF_FILE* file, int64_t offset, uint32_t used, uint32_t capacity) {
    dof::BlockHeader header{used, capacity};
    return dof_ReadWrite(DOF_WRITE, file, DOF_BLOCK_HEADER, offset - DOF_BLOCK_HEADER, &header);
}

} // namespace

extern "C" int32_t dof_AllocateBlock(DOF_FILE* file, uint32_t size, int64_t* offset) {
    if (size == 0 || file->end > dof::kMaxOffset - DOF_BLOCK_HEADER - static_cast<int64_t>(size)) {
        return dof::Fail(DOF_BAD_SIZE, file);
    }
    if (file->free_lists == 0) {
        *offset = file->end;
        file->end += size;
        return 0;
    }

    DOF_FREELIST* list = file->free_list;
    ++list->alloc_requests;
    list->total_requested += static_cast<float>(size);

    DOF_SLOT* slot = dof::FirstFit(list, size);
    if (slot != nullptr) {
        const int64_t start = slot->offset + DOF_BLOCK_HEADER;
        if (slot->capacity - size < DOF_SPLIT_MINIMUM) {
            // The whole slot: its capacity goes into the header so that the
            // spare bytes come back with the block.
            DOF_SLOT* pred = nullptr;
            if (dof::FindPredecessor(list, slot, &pred) == 0) {
                const int32_t rc = WriteHeader(file, start, size, slot->capacity);
                if (rc != 0) return rc;
                if (dof::RemoveSlot(list, pred, slot) == 0) {
                    *offset = start;
                    return 0;
                }
            }
            // The list and the tree disagree (recorded as DOF_BAD_SLOT): the
            // slot is left alone and the block goes to the end.
        } else {
            const int32_t rc = WriteHeader(file, start, size, size);
            if (rc != 0) return rc;
            slot->offset += static_cast<int64_t>(size) + DOF_BLOCK_HEADER;
            slot->capacity -= size + DOF_BLOCK_HEADER;
            *offset = start;
            return 0;
        }
    }

    const int64_t start = file->end + DOF_BLOCK_HEADER;
    const int32_t rc = WriteHeader(file, start, size, size);
    if (rc != 0) return rc;
    file->end = start + size;
    *offset = start;
    return 0;
}
