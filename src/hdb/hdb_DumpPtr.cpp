#include "hdb/hdb_int.h"

extern "C" void hdb_DumpPtr(const void* pointer) {
    if (hdb__Rqst == 0) return;
    FILE* out = hdb__Output;
    if (pointer == nullptr) {
        std::fprintf(out, "Can not dump NULL pointer\n");
        return;
    }
    if (!hdb__IsPtrHDB(pointer)) {
        std::fprintf(out, "hdb_DumpPtr:  Corrupted block at %p\n", pointer);
        hdb_Error();
        return;
    }
    const HDB_BLOCK* b = HDB_BLOCK_OF(const_cast<void*>(pointer));
    std::fprintf(out, "Pointer %p:\n", pointer);
    std::fprintf(out, "  Size  = %lu\n", static_cast<unsigned long>(b->size));
    std::fprintf(out, "  Owner = %s(%d)\n", hdb::Name(b->file), b->line);
    std::fprintf(out, "  Rqst  = %lu\n\n", static_cast<unsigned long>(b->request));
}
