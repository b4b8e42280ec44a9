/* MDA module internals. */
#ifndef MVX_MDA_INT_H
#define MVX_MDA_INT_H

#include "mvx/mda.h"

/* The module's descriptor, copied into the registry by mda_Initialize. */
extern const MVX_MODULE mda_Module;

/* ---- Entity memory blocks and arrays (MBlocks): module internals ---------- */

#include <cstdint>

namespace mdamb {

constexpr int32_t kHeader = MDA_MBLOCK_HDR_SIZE;                         // 40
constexpr int32_t kArrayData = MDA_MBLOCK_HDR_SIZE + MDA_ARRAY_HDR_SIZE; // 88

inline uintptr_t Addr(const void* p) {
    return reinterpret_cast<uintptr_t>(p);
}
inline MDA_MBLOCK* HeaderAt(uintptr_t address) {
    return reinterpret_cast<MDA_MBLOCK*>(address);
}
// The header of a block from the data address that callers hold.
inline MDA_MBLOCK* HeaderOf(const void* data, bool array) {
    return HeaderAt(Addr(data) - (array ? kArrayData : kHeader));
}
// The data address that callers hold for a block (after the array header for
// an array).
inline void* DataOf(MDA_MBLOCK* block) {
    return reinterpret_cast<char*>(block) +
           (block->type == MDA_MBLOCK_ARRAY ? kArrayData : kHeader);
}
inline MDA_ARRAY_HDR* ArrayOf(MDA_MBLOCK* block) {
    return reinterpret_cast<MDA_ARRAY_HDR*>(reinterpret_cast<char*>(block) + kHeader);
}
inline uintptr_t EndOf(const MDA_MBLOCK* block) {
    return Addr(block) + static_cast<uint32_t>(block->size);
}

// 0 when the header carries the marker (and, with type != 0, that type);
// otherwise reports MDA_BAD_MBLOCK with the header's address.
int32_t Check(const MDA_MBLOCK* block, int type);

// The owner's block (the head of its chain), checked; null owner: *head null.
int32_t OwnerBlock(const void* owner, MDA_MBLOCK** head);

// The total size of a block with data bytes of data, or MDA_MALLOC_ERR
// reported when it is negative or the total does not fit 32 bits.
int32_t TotalSize(int64_t data, int32_t* total);

// Puts block directly after head; referrer (the pointer that will hold the
// block's data address) becomes head's referrer. The block stops being
// independent.
void InsertAfter(MDA_MBLOCK* head, MDA_MBLOCK* block, void** referrer);

// The block before block in head's chain, or null when block is not after
// head in that chain.
MDA_MBLOCK* FindPrev(MDA_MBLOCK* head, const MDA_MBLOCK* block);

// Takes block (whose predecessor is prev) out of the chain; its referrer and
// next are cleared and it becomes independent.
void Unlink(MDA_MBLOCK* prev, MDA_MBLOCK* block);

// Puts replacement in old's place in head's chain (head may be old itself):
// the link to old now leads to replacement, which takes over old's next and
// referrer. Referrers are not moved.
void Replace(MDA_MBLOCK* head, MDA_MBLOCK* old, MDA_MBLOCK* replacement);

// Frees every block of head's chain (except keep) whose referring pointer
// lies in memory that dropped() says is being released, then, in turn, the
// blocks referred to from the blocks so freed. Allocates nothing.
using DroppedFn = bool (*)(const void* context, uintptr_t referrer);
void FreeUnreachable(MDA_MBLOCK* head, const MDA_MBLOCK* keep, DroppedFn dropped,
                     const void* context);

// Frees block and every block that follows it.
void FreeChain(MDA_MBLOCK* block);

// Shape of an array block.
struct ArrayShape {
    int32_t ndims;
    int32_t dims[MDA_MAX_DIMS];
    int64_t elem_size;
    int64_t rows;        // element rows: d1 * ... * d(n-1)
    int64_t row_ptrs;    // d1 + d1*d2 + ... + d1*...*d(n-1)
    int64_t elem_offset; // from the array header
    int64_t data_size;   // block data: elem_offset + rows * dn * elem_size
};

// Validates a request and computes its shape; reports MDA_NULL_MEMPTR,
// MDA_ZERO_DIM or MDA_MALLOC_ERR.
int32_t ArrayLayout(int32_t elem_size, int32_t ndims, const int32_t* dims, ArrayShape* shape);

// A new independent, zeroed array block of that shape with its tables built;
// when memory runs out, failure_code (MDA_MALLOC_ERR or MDA_REALLOC_ERR) is
// reported.
int32_t NewArray(const ArrayShape& shape, MDA_MBLOCK** block, int32_t failure_code);

} // namespace mdamb

/* ---- End of MBlock internals ---------------------------------------------- */

#endif
