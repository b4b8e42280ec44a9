#include <string>

#include "hdb/hdb_int.h"

extern "C" void hdb_DumpHeap(void) {
    if (hdb__Rqst == 0) return;
    FILE* out = hdb__Output;
    std::fprintf(out, "\nHeap Contents\n");
    std::fprintf(out, "\n  Rqst     Pointer     Size     Owner\n");
    std::fprintf(out, "  %s\n", std::string(76, '-').c_str());
    for (HDB_BLOCK* b = hdb__Head; b != nullptr; b = b->next) {
        if (!hdb::StartGood(b)) {
            std::fprintf(out, "hdb_DumpHeap:  Corrupted block at 0x%p\n", HDB_DATA(b));
            hdb_Error();
            return;
        }
        if ((b->flags & HDB_FREED) != 0) continue;
        std::fprintf(out, "  %-6lu 0x%-10p  %-8u %s(%d)\n", static_cast<unsigned long>(b->request), HDB_DATA(b),
                     static_cast<unsigned>(b->size), hdb::Name(b->file), b->line);
    }
    std::fprintf(out, "\n");
    hdb_DumpStats();
}
