#include "hdb/hdb_int.h"

extern "C" void hdb__AddToHeap(HDB_BLOCK* block) {
    if (block == nullptr) return;
    block->next = nullptr;
    block->previous = hdb__Tail;
    if (hdb__Tail != nullptr)
        hdb__Tail->next = block;
    else
        hdb__Head = block;
    hdb__Tail = block;
}
