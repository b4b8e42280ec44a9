// Helpers shared by the MBlock operations: header checks, chain surgery and
// the layout of array blocks.
//
// The chain is singly linked from the owner's block (the head). A block's
// header holds the next block and the address of the pointer that refers to
// that next block, so the referrer of block B is found in the header of B's
// predecessor. Unlinking B therefore hands B's own referrer field (which
// refers to B's successor) over to the predecessor.
#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "mda/mda_int.h"
#include "mvx/mpm.h"

namespace mdamb {

int32_t ReportBadBlock(const MDA_MBLOCK* block) {
    return mpm__SetError(0, MDA_BAD_MBLOCK, MPM_ERROR, static_cast<const void*>(block));
}

int32_t ReportNoMemory() {
    return mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
}

void ResetFar(MDA_MBLOCK* head) {
    bool far = false;
    for (const MDA_MBLOCK* b = head; b != nullptr && !far; b = b->next)
        far = b->referrer != nullptr && !Inside(head, b->referrer);
    head->flags = static_cast<uint8_t>(far ? head->flags | kFarReferrer
                                           : head->flags & ~kFarReferrer);
}

void Replace(MDA_MBLOCK* head, MDA_MBLOCK* old, MDA_MBLOCK* replacement) {
    if (head != old) {
        for (MDA_MBLOCK* b = head; b != nullptr; b = b->next)
            if (b->next == old) {
                b->next = replacement;
                break;
            }
    }
    replacement->next = old->next;
    replacement->referrer = old->referrer;
}

namespace {

bool InDoomedBlock(MDA_MBLOCK* head, uintptr_t address) {
    for (MDA_MBLOCK* b = head->next; b != nullptr; b = b->next)
        if ((b->flags & kDoomed) != 0 && address >= Addr(b) && address < EndOf(b)) return true;
    return false;
}

} // namespace

MDA_MBLOCK* Detach(MDA_MBLOCK* head, const MDA_MBLOCK* keep, DroppedFn dropped,
                   const void* context, void*** first_referrer) {
    *first_referrer = nullptr;
    if (head == nullptr) return nullptr;
    // Mark until nothing changes: a block goes when its referrer lies in the
    // memory that dropped() names or in a block already marked.
    bool any = false;
    for (bool changed = true; changed;) {
        changed = false;
        for (MDA_MBLOCK *prev = head, *b = head->next; b != nullptr; prev = b, b = b->next) {
            if ((b->flags & kDoomed) != 0 || b == keep) continue;
            const uintptr_t referrer = Addr(prev->referrer);
            if (dropped(context, referrer) || (any && InDoomedBlock(head, referrer))) {
                b->flags = static_cast<uint8_t>(b->flags | kDoomed);
                changed = any = true;
            }
        }
    }
    if (!any) return nullptr;
    // Move the marked blocks, in chain order, into a chain of their own: the
    // pointer that referred to each (held by its predecessor's header) goes
    // with it.
    MDA_MBLOCK *first = nullptr, *last = nullptr;
    for (MDA_MBLOCK* prev = head; prev->next != nullptr;) {
        MDA_MBLOCK* b = prev->next;
        if ((b->flags & kDoomed) == 0) {
            prev = b;
            continue;
        }
        void** referrer = prev->referrer;
        prev->next = b->next;
        prev->referrer = b->referrer;
        b->flags = static_cast<uint8_t>(b->flags & ~kDoomed);
        b->next = nullptr;
        b->referrer = nullptr;
        if (last == nullptr) {
            first = b;
            *first_referrer = referrer;
        } else {
            last->next = b;
            last->referrer = referrer;
        }
        last = b;
    }
    return first;
}

void FreeUnreachable(MDA_MBLOCK* head, const MDA_MBLOCK* keep, DroppedFn dropped,
                     const void* context) {
    void** referrer = nullptr;
    FreeChain(Detach(head, keep, dropped, context, &referrer));
}

ReuseLists g_reuse = {};

void ReleaseReused() {
    for (int32_t i = 0; i <= kReuseLargest / 4; ++i) {
        while (MDA_MBLOCK* block = g_reuse.first[i]) {
            g_reuse.first[i] = block->next;
            Poison(block, false);
            std::free(block);
        }
        g_reuse.count[i] = 0;
    }
}

void FreeChain(MDA_MBLOCK* block) {
    while (block != nullptr) {
        MDA_MBLOCK* next = block->next;
        std::free(block);
        block = next;
    }
}

int32_t ArrayLayout(int32_t elem_size, int32_t ndims, const int32_t* dims, ArrayShape* shape) {
    if (dims == nullptr && ndims > 0) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    // One dimension (or none) leaves no level of row pointers to build.
    if (ndims < 2) return mpm__SetError(0, MDA_ZERO_DIM, MPM_ERROR);
    if (ndims > MDA_MAX_DIMS || elem_size < 0) return mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
    for (int32_t i = 0; i < ndims; ++i)
        if (dims[i] < 0) return mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
    for (int32_t i = 0; i + 1 < ndims; ++i)
        if (dims[i] == 0) return mpm__SetError(0, MDA_ZERO_DIM, MPM_ERROR);

    // Every partial product counts pointers or rows that must fit the 32-bit
    // fields and the 32-bit block size, so anything above 2^31 is refused.
    constexpr int64_t kLimit = INT32_MAX;
    int64_t level = 1, row_ptrs = 0;
    for (int32_t i = 0; i + 1 < ndims; ++i) {
        level *= dims[i];
        row_ptrs += level;
        if (level > kLimit || row_ptrs > kLimit) return mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
    }
    const int64_t elem_offset = (MDA_ARRAY_HDR_SIZE + 8 * row_ptrs + 7) & ~int64_t{7};
    int64_t elements = 0, bytes = 0, data = 0;
    if (__builtin_mul_overflow(level, int64_t{dims[ndims - 1]}, &elements) ||
        __builtin_mul_overflow(elements, int64_t{elem_size}, &bytes) ||
        __builtin_add_overflow(bytes, elem_offset, &data))
        return mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
    int32_t total = 0;
    if (int32_t status = TotalSize(data, &total)) return status;

    shape->ndims = ndims;
    for (int32_t i = 0; i < MDA_MAX_DIMS; ++i)
        shape->dims[i] = i < ndims ? dims[i] : 0;
    shape->elem_size = elem_size;
    shape->rows = level;
    shape->row_ptrs = row_ptrs;
    shape->elem_offset = elem_offset;
    shape->data_size = data;
    return 0;
}

int32_t NewArray(const ArrayShape& shape, MDA_MBLOCK** out, int32_t failure_code) {
    int32_t total = 0;
    if (int32_t status = TotalSize(shape.data_size, &total)) return status;
    auto* block = static_cast<MDA_MBLOCK*>(mvxc::Calloc(1, static_cast<size_t>(total)));
    if (block == nullptr) return mpm__SetError(0, failure_code, MPM_ERROR);
    block->size = total;
    block->marker = MDA_MBLOCK_MARKER;
    block->type = MDA_MBLOCK_ARRAY;
    block->flags = MDA_MBLOCK_INDEPENDENT;
    MDA_ARRAY_HDR* array = ArrayOf(block);
    char* base = reinterpret_cast<char*>(array);
    array->self = array;
    array->ndims = static_cast<uint8_t>(shape.ndims);
    for (int32_t i = 0; i < MDA_MAX_DIMS; ++i)
        array->dims[i] = shape.dims[i];
    array->elem_size = shape.elem_size;
    array->row_ptrs = static_cast<int32_t>(shape.row_ptrs);
    array->elem_offset = static_cast<int32_t>(shape.elem_offset);

    // Level i holds `count` pointers; each points at a row of the next level
    // (dims[i + 1] pointers) or, on the last level, at an element row.
    void** tables = reinterpret_cast<void**>(base + MDA_ARRAY_HDR_SIZE);
    char* elements = base + shape.elem_offset;
    const int64_t row_bytes = shape.dims[shape.ndims - 1] * shape.elem_size;
    int64_t start = 0, count = shape.dims[0];
    for (int32_t i = 0; i + 1 < shape.ndims; ++i) {
        void** level = tables + start;
        if (i + 2 < shape.ndims) {
            void** next = tables + start + count;
            for (int64_t k = 0; k < count; ++k)
                level[k] = next + k * shape.dims[i + 1];
        } else {
            for (int64_t k = 0; k < count; ++k)
                level[k] = elements + k * row_bytes;
        }
        start += count;
        count *= shape.dims[i + 1];
    }
    *out = block;
    return 0;
}

} // namespace mdamb

namespace mdamb {

void ReadDims(int32_t ndims, va_list args, int32_t dims[MDA_MAX_DIMS]) {
    if (ndims > MDA_MAX_DIMS) return;
    for (int32_t i = 0; i < ndims; ++i)
        dims[i] = va_arg(args, int32_t);
}

} // namespace mdamb

namespace mdamb {

int32_t ReallocChain(void* owner, MDA_MBLOCK* old, bool allow_self, MDA_MBLOCK** head) {
    *head = nullptr;
    if (int32_t status = OwnerBlock(owner, head)) return status;
    const bool held = *head == nullptr
                          ? (old->flags & MDA_MBLOCK_INDEPENDENT) != 0
                          : (allow_self && *head == old) || FindPrev(*head, old) != nullptr;
    if (!held) return mpm__SetError(0, MDA_BAD_MBLOCK, MPM_ERROR, static_cast<const void*>(old));
    if (*head == nullptr) *head = old;
    return 0;
}

} // namespace mdamb

namespace mdamb {

int32_t MallocArrayV(uint32_t options, void* owner, int32_t elem_size, void** out, int32_t ndims,
                     va_list args) {
    int32_t dims[MDA_MAX_DIMS] = {};
    ReadDims(ndims, args, dims);
    return mda__MallocArray(options, owner, elem_size, ndims, dims, out);
}

} // namespace mdamb
