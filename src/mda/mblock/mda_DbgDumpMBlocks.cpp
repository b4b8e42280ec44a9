#include <cstdio>

#include "mda/mda_int.h"

// The walk stops after a block whose marker is wrong: its links cannot be
// trusted, so its line shows its fields without following the referrer.
// Only good blocks count in the total.
extern "C" int32_t mda_DbgDumpMBlocks(uint32_t /*options*/, void* body) {
    if (body == nullptr) return 0;
    FILE* out = mda__DbgFile;
    int32_t result = 0;
    long total = 0;
    long number = 0;
    for (MDA_MBLOCK* b = mdamb::HeaderOf(body, false); b != nullptr; b = b->next, ++number) {
        const bool good = b->marker == MDA_MBLOCK_MARKER;
        std::fprintf(out, "Block %ld @ 0x%p,  type %d,  size %ld", number, static_cast<void*>(b),
                     static_cast<int>(b->type), static_cast<long>(b->size));
        if (!good) {
            std::fprintf(out, "  <- Warning: Bad MBlock header");
        } else if (b->type == MDA_MBLOCK_ARRAY) {
            const MDA_ARRAY_HDR* array = mdamb::ArrayOf(b);
            const int n = array->ndims < MDA_MAX_DIMS ? array->ndims : MDA_MAX_DIMS;
            std::fprintf(out, ",  dims ");
            for (int i = 0; i < n; ++i)
                std::fprintf(out, "[%ld]", static_cast<long>(array->dims[i]));
        }
        std::fprintf(out, ":\n");
        std::fprintf(out, "   next block at 0x%p\n   referenced at 0x%p",
                     static_cast<void*>(b->next), static_cast<void*>(b->referrer));
        if (good && b->referrer != nullptr) {
            void* value = *b->referrer;
            std::fprintf(out, " (->0x%p)", value);
            if (b->next == nullptr || value != mdamb::DataOf(b->next)) {
                std::fprintf(out, "  <- Warning: Incorrect reference");
                result = MDA_DBG_BADMEMREF;
            }
        }
        std::fprintf(out, "\n\n");
        if (!good) {
            if (result == 0) result = MDA_BAD_MBLOCK;
            break;
        }
        total += b->size;
    }
    std::fprintf(out, "Total size of MBlocks: %ld\n\n", total);
    return result;
}
