/*
 * OLM module internals.
 *
 * Memory layout
 * -------------
 * A slot block is one allocation:
 *
 *     [link to the previously made block, 8 bytes][slot 0][slot 1] ... [slot per_block-1]
 *
 * and a slot is an OLM_ELEM (next, prev: 16 bytes) followed by the record. The
 * slot size is the record size + 16 rounded up to a multiple of 8. malloc
 * hands out 16-aligned memory and every offset above is a multiple of 8, so
 * every slot and every record is 8-byte aligned: enough for pointers,
 * int64_t and double, the widest members that records of this library hold.
 *
 * Invariants of a list (checked by the tests after every step):
 *  - head..tail is a doubly linked chain of exactly count slots; head->prev
 *    and tail->next are null; head and tail are null exactly when count is 0;
 *  - current is null exactly when the list is empty, otherwise it is one of
 *    the list's elements;
 *  - the free chain (linked through next, prev unused) holds every slot of
 *    every block that is not in the list: free slots + count == blocks *
 *    per_block, and no slot is on both chains;
 *  - 0 <= cycle <= count.
 *
 * Every operation that fails leaves the list's contents, current element and
 * cycle index as they were; only the free chain may have grown by new blocks.
 */
#ifndef MVX_OLM_INT_H
#define MVX_OLM_INT_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "mvx/mpm.h"
#include "mvx/olm.h"

/* The module's descriptor, copied into the registry by olm_Initialize. */
extern const MVX_MODULE olm_Module;

namespace olm {

// The layout above is part of the public data model; pin it.
static_assert(sizeof(void*) == 8, "the slot layout assumes 64-bit pointers");
static_assert(sizeof(OLM_ELEM) == 16 && alignof(OLM_ELEM) == 8);
static_assert(offsetof(OLM_ELEM, next) == 0 && offsetof(OLM_ELEM, prev) == 8);
static_assert(offsetof(OLM_LIST, blocks) == 0 && offsetof(OLM_LIST, head) == 8 &&
              offsetof(OLM_LIST, tail) == 16 && offsetof(OLM_LIST, free) == 24 &&
              offsetof(OLM_LIST, current) == 32 && offsetof(OLM_LIST, size) == 40 &&
              offsetof(OLM_LIST, per_block) == 44 && offsetof(OLM_LIST, slot_size) == 48 &&
              offsetof(OLM_LIST, count) == 52 && offsetof(OLM_LIST, cycle) == 56 &&
              offsetof(OLM_LIST, user) == 64 && sizeof(OLM_LIST) == 72);

// Bytes in front of the first slot of a block: the link to the previous block.
constexpr std::size_t kBlockHeader = sizeof(void*);

// The slot size for a record size, or 0 when the size is not positive or the
// slot size would not fit in 32 bits.
constexpr int32_t SlotSize(int32_t size) {
    if (size <= 0 || size > INT32_MAX - 23) return 0;
    return static_cast<int32_t>((static_cast<uint32_t>(size) + 16u + 7u) & ~7u);
}
static_assert(SlotSize(1) == 24 && SlotSize(8) == 24 && SlotSize(9) == 32 && SlotSize(16) == 32);

// The record stored in a slot.
inline void* Record(OLM_ELEM* elem) {
    return reinterpret_cast<unsigned char*>(elem) + sizeof(OLM_ELEM);
}

// Copies one record and returns `to`. Records of up to 64 bytes are copied
// inline, in 8-byte words and then the remaining 4, 2 and 1 bytes. A caller
// typically fills a record on its stack just before adding it; word-sized
// loads get those stores forwarded, where the wide vector loads of a memcpy
// call stall on them (measured: adding and removing 32-byte records took
// half as long again with memcpy), and the call is saved. Larger records go
// to memcpy as a tail call.
inline void* CopyRecord(void* to, const void* from, std::size_t size) {
    if (size > 64) return std::memcpy(to, from, size);
    auto* d = static_cast<unsigned char*>(to);
    auto* s = static_cast<const unsigned char*>(from);
    auto word = [d, s](std::size_t at) { std::memcpy(d + at, s + at, 8); };
    switch (size >> 3) {
    case 8:
        word(56);
        [[fallthrough]];
    case 7:
        word(48);
        [[fallthrough]];
    case 6:
        word(40);
        [[fallthrough]];
    case 5:
        word(32);
        [[fallthrough]];
    case 4:
        word(24);
        [[fallthrough]];
    case 3:
        word(16);
        [[fallthrough]];
    case 2:
        word(8);
        [[fallthrough]];
    case 1:
        word(0);
        [[fallthrough]];
    default:
        break;
    }
    std::size_t at = size & ~std::size_t{7};
    if ((size & 4) != 0) {
        std::memcpy(d + at, s + at, 4);
        at += 4;
    }
    if ((size & 2) != 0) {
        std::memcpy(d + at, s + at, 2);
        at += 2;
    }
    if ((size & 1) != 0) d[at] = s[at];
    return to;
}

// The link to the previously made block, kept in a block's first 8 bytes.
inline void*& PreviousBlock(void* block) {
    return *static_cast<void**>(block);
}

// The n-th element (1-based) of a list, or null when n is outside 1..count.
// Walks from whichever end is nearer.
inline OLM_ELEM* ElementAt(const OLM_LIST* list, int32_t n) {
    if (n < 1 || n > list->count) return nullptr;
    OLM_ELEM* elem;
    if (n <= list->count / 2 + 1) {
        elem = list->head;
        for (int32_t i = 1; i < n; ++i)
            elem = elem->next;
    } else {
        elem = list->tail;
        for (int32_t i = list->count; i > n; --i)
            elem = elem->prev;
    }
    return elem;
}

// Finds the element a position refers to, without making it current.
// Returns it, or null: *status is then 0 when the position simply names no
// element (-1, -2 or 0 on an empty list), or OLM_INVALIDPOSITION, reported,
// when the position is beyond the count or below -2.
inline OLM_ELEM* Locate(OLM_LIST* list, int32_t position, int32_t* status) {
    *status = 0;
    switch (position) {
    case OLM_HEAD:
        return list->head;
    case OLM_TAIL:
        return list->tail;
    case OLM_CURRENT:
        return list->current;
    default:
        break;
    }
    OLM_ELEM* elem = ElementAt(list, position);
    if (elem == nullptr) *status = mpm__SetError(0, OLM_INVALIDPOSITION, MPM_ERROR, position);
    return elem;
}

// Takes the first slot of the free chain, which must not be empty.
inline OLM_ELEM* TakeSlot(OLM_LIST* list) {
    OLM_ELEM* elem = list->free;
    list->free = elem->next;
    return elem;
}

// Links elem into the list between pred and succ, which are neighbours (null
// pred: at the head; null succ: at the tail). The two links of elem are
// written apart on purpose: compilers merge adjacent ones into a single
// 16-byte vector store, and the next insertion in front of the current
// element, which reads elem->prev at once, then waits for a store-to-load
// forward from that vector store (measured: adding and removing at the
// current position took 40% longer).
inline void LinkBetween(OLM_LIST* list, OLM_ELEM* pred, OLM_ELEM* succ, OLM_ELEM* elem) {
    elem->prev = pred;
    if (pred != nullptr) {
        pred->next = elem;
    } else {
        list->head = elem;
    }
    elem->next = succ;
    if (succ != nullptr) {
        succ->prev = elem;
    } else {
        list->tail = elem;
    }
}

// Unlinks elem from the list, fixing its neighbours, head and tail.
inline void Unlink(OLM_LIST* list, OLM_ELEM* elem) {
    if (elem->prev != nullptr) {
        elem->prev->next = elem->next;
    } else {
        list->head = elem->next;
    }
    if (elem->next != nullptr) {
        elem->next->prev = elem->prev;
    } else {
        list->tail = elem->prev;
    }
}

// Takes a free slot (there must be one), links it between the neighbours
// pred and succ, makes it current and copies the record into it unless the
// record is null. Returns the stored record. The copy comes last so that a
// memcpy of a large record is a tail call and the path keeps its values in
// scratch registers.
inline void* Insert(OLM_LIST* list, OLM_ELEM* pred, OLM_ELEM* succ, const void* record) {
    OLM_ELEM* elem = TakeSlot(list);
    LinkBetween(list, pred, succ, elem);
    list->current = elem;
    ++list->count;
    void* stored = Record(elem);
    if (record == nullptr) return stored;
    return CopyRecord(stored, record, static_cast<std::size_t>(list->size));
}

// As Insert, after pred (at the head when pred is null).
inline void* InsertAfter(OLM_LIST* list, OLM_ELEM* pred, const void* record) {
    return Insert(list, pred, pred != nullptr ? pred->next : list->head, record);
}

// Appends a copy of record at the tail and makes it current, as adding at
// position -2 does. Returns 0 or the failure of making a block (reported).
inline int32_t Append(OLM_LIST* list, const void* record) {
    if (list->free == nullptr) {
        int32_t status = olm__CreateBlock(0, list);
        if (status != 0) return status;
    }
    Insert(list, list->tail, nullptr, record);
    return 0;
}

} // namespace olm

#endif
