// Debug dump of one directory entry.
#include <cinttypes>
#include <cstdio>

#include "mda/mda_cache_int.h"

namespace mdac {

void DumpEntry(const MDA_MODEL* m, int32_t model, int64_t number, const MDA_DIR_ENTRY* e) {
    FILE* out = mda__DbgFile;
    char dloc[64];
    if (mda::MemoryOnly(m)) {
        std::snprintf(dloc, sizeof dloc, "Memory:0x%p", StoredCopy(e));
    } else if (e->dloc == -1) {
        std::snprintf(dloc, sizeof dloc, "Not written");
    } else {
        std::snprintf(dloc, sizeof dloc, "%#" PRIx64, static_cast<uint64_t>(e->dloc));
    }
    char status[96] = "DELETED";
    if ((e->status & MDA_DELETED) == 0) {
        static constexpr struct {
            int32_t bit;
            const char* text;
        } kFlags[] = {{MDA_RWLOCK, "RWLOCK  "},     {MDA_MODIFIED, "MODIFIED  "},
                      {MDA_RESERVED, "RESERVED  "}, {MDA_INVALID, "INVALID  "},
                      {MDA_NEW, "NEW  "},           {MDA_NEEDFLUSH, "NEEDFLUSH  "}};
        int at = 0;
        status[0] = '\0';
        for (const auto& flag : kFlags)
            if ((e->status & flag.bit) != 0)
                at += std::snprintf(status + at, sizeof status - static_cast<size_t>(at), "%s",
                                    flag.text);
    }
    const int32_t form = static_cast<int16_t>(e->tf & 0xFFFF);
    std::fprintf(out,
                 "#%d:%" PRId64 "\n   TF:          %d:%d\n   Mloc:        0x%p\n"
                 "   Dloc:        %s\n   Status:      %s\n   Cache Entry: %d\n"
                 "   Lock Count:  %d\n\n",
                 model, number, e->tf >> 16, form, e->mloc, dloc, status,
                 e->status & MDA_CACHE_SLOT_MASK, (e->status & MDA_LOCK_MASK) >> MDA_LOCK_SHIFT);
}

} // namespace mdac

extern "C" int32_t mda_DbgDumpDirEntry(uint32_t /*options*/, MDA_PTR db_ptr) {
    if (db_ptr == MDA_NULL_PTR) return 0;
    const int32_t model = MDA_PTR_MODEL(db_ptr);
    int32_t status = 0;
    const MDA_MODEL* m = mda::ModelOrReport(model, &status);
    if (m == nullptr) return status;
    const MDA_DIR_ENTRY* e = mda__GetEntDir(model, MDA_PTR_ENTITY(db_ptr));
    if (e == nullptr) return mpm__LastError;
    mdac::DumpEntry(m, model, MDA_PTR_ENTITY(db_ptr), e);
    return 0;
}
