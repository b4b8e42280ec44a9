// The free list of a paged file: the slots that dof_AllocateBlock takes
// from and dof_FreeBlock gives back to.
//
// Design note
// ===========
//
// A file with free lists is a row of stretches that together cover
// [0, end offset) without gaps or overlaps. Each stretch is either a block
// handed out (an 8-byte header {used, capacity} followed by capacity bytes,
// used <= capacity) or a free slot {offset, capacity} covering
// capacity + 8 bytes from offset. Every byte of the file therefore belongs to
// exactly one block or slot, and no byte is ever handed out twice.
//
// The slots are kept twice, and both copies must always agree:
//   * the list: first -> next -> ... in strictly ascending offset order;
//     a slot ends (offset + capacity + 8) at or before the next one begins;
//   * the slot tree: an object tree ordered by dof__CompareFreeSlot whose
//     stored objects ARE the list's slots (the list links the tree's own
//     copies; the tree frees them). It holds exactly the slots of the list,
//     and free_slots counts them.
// Slots are fully merged: two slots never touch (one ending where the next
// begins), except when their merged capacity would exceed MergeLimit, the
// most a 32-bit capacity can record.
//
// Every change below keeps these invariants, and every check that can fail
// is made before anything is changed, so a failed operation leaves the list
// and the tree as they were. A slot's offset may be changed in place (when it
// grows or shrinks at its front) because it never moves past a neighbour, so
// the tree's order stays valid without re-insertion.
//
// Finding neighbours. A search of the tree resets dof__LastCompared and lets
// dof__CompareFreeSlot remember a slot along the search path: the deepest
// slot below the key at which the search turned right, or, while it has only
// turned left, the last slot above the key. For a key that is not in the tree
// the path passes both of the key's neighbours, so the search leaves the
// greatest slot below the key, or the lowest slot of all when none lies below.
//
// The predecessor of a slot that is handed out whole. The slot must leave the
// list, so its list predecessor has to be found. A search for the slot's own
// offset does not serve: it stops at the slot itself, and the remembered slot
// is only the deepest ancestor below it, which is not the predecessor when
// the slot has a left subtree (the predecessor is then the rightmost slot of
// that subtree), and which does not exist for the first slot. We therefore
// search for the offset one byte below the slot. No slot starts there (slots
// are at least 8 bytes long), the slot itself is that key's upper neighbour,
// and the search leaves the slot's list predecessor, or the slot itself when
// it is the first. The result is then checked against the list: the
// predecessor must link to the slot (or the slot must be the first); if not,
// the list and the tree disagree, DOF_BAD_SLOT is recorded and the caller
// leaves the slot alone and places the block at the end of the file instead.
//
// Returning a stretch. A search for the stretch's offset leaves P, its lower
// neighbour, or the lowest slot when nothing lies below. The stretch must
// lie strictly between P and P's next slot (or below the first slot);
// anything else means the block overlaps free space (freed twice, or a
// damaged header) and is refused with DOF_BAD_SLOT at FATAL. Then, in this
// order: a stretch ending where the first slot begins extends that slot
// downwards; a stretch beginning where P ends extends P, and P then also
// swallows its next slot when it now touches it; a stretch ending where P's
// next begins extends that slot downwards; otherwise the stretch becomes a
// new slot, linked before the first slot or after P.
#include <cstdlib>

#include "common/common_alloc.h"
#include "dof/dof_int.h"

namespace dof {
namespace {

// The first byte after a slot.
int64_t SlotEnd(const DOF_SLOT* slot) {
    return slot->offset + static_cast<int64_t>(slot->capacity) + DOF_BLOCK_HEADER;
}

// Whether two touching stretches may become one slot.
bool MayMerge(uint32_t lower, uint32_t upper) {
    return static_cast<uint64_t>(lower) + upper + DOF_BLOCK_HEADER <= MergeLimit;
}

// Searches the tree for offset. Returns the slot that the search leaves in
// dof__LastCompared (null for an empty tree) and stores the slot found at
// exactly that offset, if any, in *exact.
DOF_SLOT* Search(DOF_FREELIST* list, int64_t offset, DOF_SLOT** exact) {
    DOF_SLOT key{};
    key.offset = offset;
    dof__LastCompared = nullptr;
    *exact = static_cast<DOF_SLOT*>(otm_GetObject(OTM_QUIET, list->tree, &key));
    return dof__LastCompared;
}

// Stores a new slot in the tree and returns the tree's copy, or null after
// recording DOF_REALLOC_ERR.
DOF_SLOT* Store(DOF_FREELIST* list, int64_t start, uint32_t capacity, DOF_SLOT* next) {
    DOF_SLOT slot{};
    slot.offset = start;
    slot.capacity = capacity;
    slot.next = next;
    auto* stored = static_cast<DOF_SLOT*>(otm_AddObject(0, list->tree, &slot));
    if (stored == nullptr) mpm__SetError(0, DOF_REALLOC_ERR, MPM_ERROR);
    return stored;
}

// A returned stretch that overlaps free space: refused before any change.
int32_t Overlap() {
    return mpm__SetError(0, DOF_BAD_SLOT, MPM_FATAL);
}

} // namespace

DOF_FREELIST* CreateFreeList() {
    auto* list = static_cast<DOF_FREELIST*>(mvxc::Calloc(1, sizeof(DOF_FREELIST)));
    if (list == nullptr) {
        mpm__SetError(0, DOF_MALLOC_ERR, MPM_ERROR);
        return nullptr;
    }
    list->tree = otm_CreateTree(0, sizeof(DOF_SLOT), dof__CompareFreeSlot, 0);
    if (list->tree == nullptr) {
        std::free(list);
        mpm__SetError(0, DOF_MALLOC_ERR, MPM_ERROR);
        return nullptr;
    }
    return list;
}

void DeleteFreeList(DOF_FREELIST* list) {
    if (list == nullptr) return;
    otm_DeleteTree(0, list->tree); // frees every slot
    std::free(list);
    dof__LastCompared = nullptr; // it may have named one of them
}

DOF_SLOT* FirstFit(const DOF_FREELIST* list, uint32_t size) {
    for (DOF_SLOT* slot = list->first; slot != nullptr; slot = slot->next) {
        if (slot->capacity >= size) return slot;
    }
    return nullptr;
}

int32_t FindPredecessor(DOF_FREELIST* list, const DOF_SLOT* slot, DOF_SLOT** pred) {
    DOF_SLOT* exact = nullptr;
    DOF_SLOT* below = Search(list, slot->offset - 1, &exact);
    if (exact == nullptr && below != nullptr) {
        if (below == slot && list->first == slot) {
            *pred = nullptr;
            return 0;
        }
        if (below != slot && below->next == slot) {
            *pred = below;
            return 0;
        }
    }
    return mpm__SetError(0, DOF_BAD_SLOT, MPM_ERROR);
}

int32_t RemoveSlot(DOF_FREELIST* list, DOF_SLOT* pred, DOF_SLOT* slot) {
    DOF_SLOT* const next = slot->next;
    // The key is a copy: the removal frees the stored slot.
    const DOF_SLOT key = *slot;
    if (otm_RemoveObject(0, list->tree, &key) != 0) {
        return mpm__SetError(0, DOF_BAD_SLOT, MPM_ERROR);
    }
    if (pred == nullptr) {
        list->first = next;
    } else {
        pred->next = next;
    }
    --list->free_slots;
    // The removal's searches may have remembered the slot just freed.
    dof__LastCompared = nullptr;
    return 0;
}

int32_t ReturnSlot(DOF_FILE* file, int64_t start, uint32_t capacity) {
    DOF_FREELIST* list = file->free_list;
    const int64_t end = start + static_cast<int64_t>(capacity) + DOF_BLOCK_HEADER;

    if (list->first == nullptr) {
        DOF_SLOT* slot = Store(list, start, capacity, nullptr);
        if (slot == nullptr) return DOF_REALLOC_ERR;
        list->first = slot;
        list->free_slots = 1;
        return 0;
    }

    DOF_SLOT* exact = nullptr;
    DOF_SLOT* p = Search(list, start, &exact);
    if (exact != nullptr || p == nullptr) return Overlap();

    if (p->offset > start) {
        // Nothing lies below the stretch: p must be the first slot.
        if (p != list->first || end > p->offset) return Overlap();
        if (end == p->offset && MayMerge(capacity, p->capacity)) {
            p->offset = start;
            p->capacity += capacity + DOF_BLOCK_HEADER;
            return 0;
        }
        DOF_SLOT* slot = Store(list, start, capacity, p);
        if (slot == nullptr) return DOF_REALLOC_ERR;
        list->first = slot;
        ++list->free_slots;
        return 0;
    }

    DOF_SLOT* next = p->next;
    if (SlotEnd(p) > start || (next != nullptr && end > next->offset)) return Overlap();

    if (SlotEnd(p) == start && MayMerge(p->capacity, capacity)) {
        const uint32_t grown = p->capacity + capacity + DOF_BLOCK_HEADER;
        if (next != nullptr && end == next->offset && MayMerge(grown, next->capacity)) {
            // p swallows its next slot too; take that out of the tree first so
            // that a failure changes nothing.
            const uint32_t taken = next->capacity;
            if (RemoveSlot(list, p, next) != 0) return DOF_BAD_SLOT;
            p->capacity = grown + taken + DOF_BLOCK_HEADER;
            return 0;
        }
        p->capacity = grown;
        return 0;
    }
    if (next != nullptr && end == next->offset && MayMerge(capacity, next->capacity)) {
        next->offset = start;
        next->capacity += capacity + DOF_BLOCK_HEADER;
        return 0;
    }
    DOF_SLOT* slot = Store(list, start, capacity, next);
    if (slot == nullptr) return DOF_REALLOC_ERR;
    p->next = slot;
    ++list->free_slots;
    return 0;
}

} // namespace dof
