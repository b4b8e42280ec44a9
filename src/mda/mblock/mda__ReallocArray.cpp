#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "mda/mda_int.h"
#include "mvx/mpm.h"

// An array is reallocated as a new array of the new shape; every element
// whose indices exist in both shapes keeps them. With an owner the old array
// is unlinked and the new one inserted after the body with the out pointer
// as its referrer, as a new array of the owner would be; without one the new
// array takes the old one's place (at the head of the chain it may head). Blocks referred to from inside the old array follow their
// element when it is kept and are freed when it is not (or when the contents
// are discarded), so the chain never keeps a referrer into freed memory.
// Everything that can fail happens before the chain is touched.
namespace {

struct Move {
    uintptr_t block_from, block_to; // the old block
    uintptr_t elems_from, elems_to; // its element area
    char* new_elems;
    int32_t ndims;
    const int32_t* old_dims;
    const int32_t* new_dims;
    int64_t elem_size;
    bool discard;

    // The new address of a referrer in the old element area, or 0 when its
    // element does not survive.
    uintptr_t Map(uintptr_t referrer) const {
        if (discard || elem_size <= 0 || referrer < elems_from || referrer >= elems_to) return 0;
        const uint64_t offset = referrer - elems_from;
        uint64_t element = offset / static_cast<uint64_t>(elem_size);
        const uint64_t within = offset % static_cast<uint64_t>(elem_size);
        // A pointer that does not lie within one element has no element to follow.
        if (within + sizeof(void*) > static_cast<uint64_t>(elem_size)) return 0;
        int64_t index[MDA_MAX_DIMS];
        for (int32_t i = ndims - 1; i >= 0; --i) {
            index[i] = static_cast<int64_t>(element % static_cast<uint64_t>(old_dims[i]));
            element /= static_cast<uint64_t>(old_dims[i]);
        }
        int64_t flat = 0;
        for (int32_t i = 0; i < ndims; ++i) {
            if (index[i] >= new_dims[i]) return 0;
            flat = flat * new_dims[i] + index[i];
        }
        return mdamb::Addr(new_elems) + static_cast<uintptr_t>(flat * elem_size) + within;
    }
};

bool Dropped(const void* context, uintptr_t referrer) {
    const auto* move = static_cast<const Move*>(context);
    return referrer >= move->block_from && referrer < move->block_to && move->Map(referrer) == 0;
}

// Copies every element whose indices exist in both shapes: row by row over
// the common leading indices, or in one move when only the first dimension
// differs (the rows then line up).
void CopyCommon(const MDA_ARRAY_HDR* from, MDA_ARRAY_HDR* to) {
    const int32_t n = from->ndims;
    const int64_t size = from->elem_size;
    const char* src = reinterpret_cast<const char*>(from) + from->elem_offset;
    char* dst = reinterpret_cast<char*>(to) + to->elem_offset;
    int32_t common[MDA_MAX_DIMS];
    int64_t rows = 1;
    for (int32_t i = 0; i < n; ++i) {
        common[i] = std::min(from->dims[i], to->dims[i]);
        if (i + 1 < n) rows *= common[i];
    }
    const int64_t row_bytes = common[n - 1] * size;
    if (rows == 0 || row_bytes == 0) return;
    if (std::equal(from->dims + 1, from->dims + n, to->dims + 1)) {
        std::memcpy(dst, src, static_cast<size_t>(rows * row_bytes));
        return;
    }
    int32_t index[MDA_MAX_DIMS] = {};
    for (int64_t r = 0; r < rows; ++r) {
        int64_t old_row = 0, new_row = 0;
        for (int32_t i = 0; i + 1 < n; ++i) {
            old_row = old_row * from->dims[i] + index[i];
            new_row = new_row * to->dims[i] + index[i];
        }
        std::memcpy(dst + new_row * to->dims[n - 1] * size,
                    src + old_row * from->dims[n - 1] * size, static_cast<size_t>(row_bytes));
        for (int32_t i = n - 2; i >= 0; --i) {
            if (++index[i] < common[i]) break;
            index[i] = 0;
        }
    }
}

} // namespace

extern "C" int32_t mda__ReallocArray(uint32_t options, void* owner, void* old_data,
                                     int32_t elem_size, int32_t ndims, const int32_t* dims,
                                     void** out) {
    if (old_data == nullptr || out == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    MDA_MBLOCK* old = nullptr;
    if (int32_t status = mdamb::Find(old_data, MDA_MBLOCK_ARRAY, &old)) return status;
    const MDA_ARRAY_HDR* old_array = mdamb::ArrayOf(old);
    if (old_array->ndims < 2 || old_array->ndims > MDA_MAX_DIMS)
        return mpm__SetError(0, MDA_BAD_MBLOCK, MPM_ERROR, static_cast<const void*>(old));
    MDA_MBLOCK* head = nullptr;
    if (int32_t status = mdamb::ReallocChain(owner, old, false, &head)) return status;
    if (ndims != old_array->ndims || elem_size != old_array->elem_size)
        return mpm__SetError(0, MDA_ARRAY_MISMATCH, MPM_ERROR);

    mdamb::ArrayShape shape;
    if (int32_t status = mdamb::ArrayLayout(elem_size, ndims, dims, &shape)) return status;
    MDA_MBLOCK* moved = nullptr;
    if (int32_t status = mdamb::NewArray(shape, &moved, MDA_REALLOC_ERR)) return status;
    moved->flags = old->flags;
    MDA_ARRAY_HDR* new_array = mdamb::ArrayOf(moved);
    const bool discard = (options & MDA_REALLOC_DISCARD) != 0;
    if (!discard) CopyCommon(old_array, new_array);

    const uintptr_t elems = mdamb::Addr(old_array) + static_cast<uintptr_t>(old_array->elem_offset);
    int64_t old_elements = 1;
    for (int32_t i = 0; i < ndims; ++i)
        old_elements *= old_array->dims[i];
    const uintptr_t elems_end = elems + static_cast<uintptr_t>(old_elements * elem_size);
    const Move move{mdamb::Addr(old),
                    mdamb::EndOf(old),
                    elems,
                    elems_end,
                    reinterpret_cast<char*>(new_array) + new_array->elem_offset,
                    ndims,
                    old_array->dims,
                    new_array->dims,
                    elem_size,
                    discard};
    mdamb::FreeUnreachable(head, old, Dropped, &move);
    for (MDA_MBLOCK* b = head; b != nullptr; b = b->next)
        if (uintptr_t to = move.Map(mdamb::Addr(b->referrer)); to != 0)
            b->referrer = reinterpret_cast<void**>(to);
    if (owner != nullptr) {
        // As a new array of the owner: the old one leaves the chain and the
        // new one goes directly after the body, referred to by out.
        mdamb::Unlink(mdamb::FindPrev(head, old), old);
        mdamb::InsertAfter(head, moved, out);
    } else {
        mdamb::Replace(head, old, moved);
        head = moved; // old headed its chain, which moved now heads
    }
    mdamb::ResetFar(head);
    *out = mdamb::DataOf(moved);
    std::free(old);
    return 0;
}
