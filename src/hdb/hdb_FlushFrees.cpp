#include <cstdlib>

#include "hdb/hdb_int.h"

extern "C" void hdb_FlushFrees(void) {
    if (hdb__Rqst == 0) return;
    HDB_BLOCK* b = hdb__Head;
    while (b != nullptr) {
        if (!hdb::StartGood(b)) {
            std::fprintf(hdb__Output, "hdb_FlushFrees:  Corrupted block at %p\n", HDB_DATA(b));
            hdb_Error();
            return;
        }
        HDB_BLOCK* next = b->next;
        if ((b->flags & HDB_FREED) != 0) {
            hdb__DeleteFromHeap(b);
            std::free(b);
        }
        b = next;
    }
}
