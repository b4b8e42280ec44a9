#include "hdb/hdb_int.h"

extern "C" void hdb__DeleteFromHeap(HDB_BLOCK* block) {
    if (block == nullptr) return;
    if (block->previous != nullptr)
        block->previous->next = block->next;
    else if (hdb__Head == block)
        hdb__Head = block->next;
    if (block->next != nullptr)
        block->next->previous = block->previous;
    else if (hdb__Tail == block)
        hdb__Tail = block->previous;
    block->next = block->previous = nullptr;
}
