// Test helpers for entity memory blocks: where headers lie, and an
// independent walk of a chain that checks every invariant, the row tables
// of every array included.
#ifndef MVX_TESTS_MBLOCK_CHECK_H
#define MVX_TESTS_MBLOCK_CHECK_H

#include <cstdint>
#include <set>
#include <string>

#include "libmvx.h"
#include "mda/mda_int.h"

namespace mbtest {

// A block's data follows its 40-byte header; an array's data (its top row
// table) follows the 48-byte array header as well.
inline MDA_MBLOCK* Header(const void* data, bool array = false) {
    return reinterpret_cast<MDA_MBLOCK*>(const_cast<char*>(static_cast<const char*>(data)) -
                                         (array ? 88 : 40));
}
inline MDA_ARRAY_HDR* Array(const void* data) {
    return reinterpret_cast<MDA_ARRAY_HDR*>(const_cast<char*>(static_cast<const char*>(data)) - 48);
}
inline char* Elements(const void* data) {
    return reinterpret_cast<char*>(Array(data)) + Array(data)->elem_offset;
}

// Checks an array block's header, size and row tables; "" when right.
inline std::string ArrayFault(MDA_MBLOCK* b) {
    char* data = reinterpret_cast<char*>(b) + 88;
    const MDA_ARRAY_HDR* a = Array(data);
    const int32_t n = a->ndims;
    if (a->self != a || n < 2 || n > 5) return "bad array header";
    int64_t rows = 1, row_ptrs = 0;
    for (int32_t i = 0; i + 1 < n; ++i)
        row_ptrs += (rows *= a->dims[i]);
    if (a->row_ptrs != row_ptrs || a->elem_offset != 48 + 8 * row_ptrs) return "bad row count";
    const int64_t end = a->elem_offset + rows * a->dims[n - 1] * a->elem_size;
    if (b->size != ((end + 40 + 3) & ~3)) return "size " + std::to_string(b->size);
    // Every element row reached through the tables lies where arithmetic puts it.
    for (int64_t r = 0; r < rows; ++r) {
        void* p = data;
        int64_t stride = rows;
        for (int32_t level = 0; level + 1 < n; ++level) {
            stride /= a->dims[level];
            p = static_cast<void**>(p)[(r / stride) % a->dims[level]];
        }
        if (p != Elements(data) + r * a->dims[n - 1] * a->elem_size)
            return "row " + std::to_string(r) + " misplaced";
    }
    return "";
}

// Walks the chain of a body and checks every invariant; "" when all hold.
// The head's far-referrer flag must say exactly whether a referrer lies
// outside the head, and no other block may carry it.
inline std::string ChainFault(void* body) {
    std::set<MDA_MBLOCK*> seen;
    MDA_MBLOCK* head = Header(body);
    bool far = false;
    for (MDA_MBLOCK* b = head; b != nullptr; b = b->next) {
        if (b->referrer != nullptr && !mdamb::Inside(head, b->referrer)) far = true;
        if (b != head && (b->flags & mdamb::kFarReferrer) != 0) return "far flag off the head";
        const std::string at = "block " + std::to_string(seen.size()) + ": ";
        if (!seen.insert(b).second) return "cycle in the chain";
        if (b->marker != MDA_MBLOCK_MARKER) return at + "bad marker";
        if (b->type != MDA_MBLOCK_PLAIN && b->type != MDA_MBLOCK_ARRAY) return at + "bad type";
        if (b->size < 40 || b->size % 4 != 0) return at + "bad size";
        if (b != Header(body) && (b->flags & MDA_MBLOCK_INDEPENDENT) != 0)
            return at + "marked independent";
        if ((b->next == nullptr) != (b->referrer == nullptr))
            return at + "next and referrer disagree";
        if (b->next != nullptr &&
            *b->referrer != reinterpret_cast<char*>(b->next) + (b->next->type == 2 ? 88 : 40))
            return at + "referrer does not hold the next block";
        if (b->type == MDA_MBLOCK_ARRAY && !ArrayFault(b).empty()) return at + ArrayFault(b);
    }
    if (far != ((head->flags & mdamb::kFarReferrer) != 0)) return "far flag wrong";
    return "";
}

} // namespace mbtest

#endif
