// Test helpers for entity memory blocks: an independent walk of a chain that
// checks every invariant, and addressing of array elements both through the
// row tables and by plain arithmetic.
#ifndef MVX_TESTS_MBLOCK_CHECK_H
#define MVX_TESTS_MBLOCK_CHECK_H

#include <cstdint>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "libmvx.h"

namespace mbtest {

inline MDA_MBLOCK* Header(const void* data, bool array = false) {
    return reinterpret_cast<MDA_MBLOCK*>(const_cast<char*>(static_cast<const char*>(data)) -
                                         (array ? 88 : 40));
}
inline void* Data(MDA_MBLOCK* b) {
    return reinterpret_cast<char*>(b) + (b->type == MDA_MBLOCK_ARRAY ? 88 : 40);
}
inline MDA_ARRAY_HDR* Array(const void* data) {
    return reinterpret_cast<MDA_ARRAY_HDR*>(const_cast<char*>(static_cast<const char*>(data)) - 48);
}

// Element address through the row tables.
inline char* ViaTables(void* top, int32_t n, const int32_t* index, int64_t elem_size) {
    void* p = top;
    for (int32_t level = 0; level + 1 < n; ++level)
        p = static_cast<void**>(p)[index[level]];
    return static_cast<char*>(p) + index[n - 1] * elem_size;
}

// Element address by arithmetic on the array header.
inline char* ViaOffsets(void* top, const int32_t* index) {
    MDA_ARRAY_HDR* a = Array(top);
    int64_t flat = 0;
    for (int32_t i = 0; i < a->ndims; ++i)
        flat = flat * a->dims[i] + index[i];
    return reinterpret_cast<char*>(a) + a->elem_offset + flat * a->elem_size;
}

// Checks one array block's header and tables; "" when they are right.
inline std::string ArrayFault(MDA_MBLOCK* b) {
    auto* a = reinterpret_cast<MDA_ARRAY_HDR*>(reinterpret_cast<char*>(b) + 40);
    std::ostringstream out;
    if (a->self != a) out << "self address wrong; ";
    const int32_t n = a->ndims;
    if (n < 2 || n > 5) return "bad number of dimensions";
    int64_t level = 1, rows = 0;
    for (int32_t i = 0; i + 1 < n; ++i)
        rows += (level *= a->dims[i]);
    if (a->row_ptrs != rows) out << "row_ptrs " << a->row_ptrs << " not " << rows << "; ";
    if (a->elem_offset != 48 + 8 * rows) out << "elem_offset " << a->elem_offset << "; ";
    const int64_t data = a->elem_offset + level * a->dims[n - 1] * a->elem_size;
    if (b->size != ((data + 40 + 3) & ~3))
        out << "size " << b->size << " for data " << data << "; ";
    // Every element row reached through the tables is where arithmetic puts it.
    for (int64_t r = 0; r < level; ++r) {
        int32_t idx[5] = {};
        int64_t rest = r;
        for (int32_t i = n - 2; i >= 0; --i) {
            idx[i] = static_cast<int32_t>(rest % a->dims[i]);
            rest /= a->dims[i];
        }
        if (ViaTables(Data(b), n, idx, a->elem_size) != ViaOffsets(Data(b), idx)) {
            out << "row " << r << " misplaced; ";
            break;
        }
    }
    return out.str();
}

// Walks the chain of body and checks every invariant; "" when all hold.
// Also returns the blocks after the body in chain order.
inline std::string ChainFault(void* body, std::vector<MDA_MBLOCK*>* blocks = nullptr) {
    std::ostringstream out;
    std::set<MDA_MBLOCK*> seen;
    MDA_MBLOCK* head = Header(body);
    int index = 0;
    for (MDA_MBLOCK* b = head; b != nullptr; b = b->next, ++index) {
        if (!seen.insert(b).second) return "cycle in the chain";
        if (b->marker != MDA_MBLOCK_MARKER) return "bad marker in block " + std::to_string(index);
        if (b->type != MDA_MBLOCK_PLAIN && b->type != MDA_MBLOCK_ARRAY)
            out << "block " << index << " has type " << int(b->type) << "; ";
        if (b->size < 40 || b->size % 4 != 0)
            out << "block " << index << " size " << b->size << "; ";
        if (b != head && (b->flags & MDA_MBLOCK_INDEPENDENT) != 0)
            out << "block " << index << " is marked independent; ";
        if ((b->next == nullptr) != (b->referrer == nullptr))
            out << "block " << index << ": next and referrer disagree; ";
        else if (b->next != nullptr && *b->referrer != Data(b->next))
            out << "block " << index << ": referrer does not hold the next block; ";
        if (b->type == MDA_MBLOCK_ARRAY) {
            std::string fault = ArrayFault(b);
            if (!fault.empty()) out << "block " << index << ": " << fault;
        }
        if (blocks != nullptr && b != head) blocks->push_back(b);
    }
    return out.str();
}

// A body: an independent block with an entity header and 32 pointer slots.
struct FakeBody {
    MDA_ENTITY_HDR header;
    void* slot[32];
};

} // namespace mbtest

#endif
