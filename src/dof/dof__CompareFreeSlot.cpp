// The order of the slot tree of a paged file's free list.
//
// Besides comparing, it remembers a neighbour of the key in
// dof__LastCompared; dof_freelist.cpp explains how searches use it.
#include "dof/dof_int.h"

extern "C" int dof__CompareFreeSlot(const void* first, const void* second) {
    const int64_t key = static_cast<const DOF_SLOT*>(first)->offset;
    auto* slot = static_cast<DOF_SLOT*>(const_cast<void*>(second));
    // Nothing remembered yet: start with this slot.
    if (dof__LastCompared == nullptr) dof__LastCompared = slot;
    if (key > slot->offset) {
        // A slot below the key; the search turns right, towards closer ones.
        dof__LastCompared = slot;
        return 1;
    }
    if (key < slot->offset) {
        // A slot above the key replaces the remembered one only while that
        // lies above the key too: a slot below the key, once found, is kept.
        if (key < dof__LastCompared->offset) dof__LastCompared = slot;
        return -1;
    }
    return 0;
}
