// Debug dump of a model's cache.
#include <cinttypes>
#include <cstdio>

#include "mda/mda_cache_int.h"

extern "C" int32_t mda_DbgDumpCache(uint32_t /*options*/, int32_t model) {
    if (model == 0) return 0;
    int32_t status = 0;
    const MDA_MODEL* m = mda::ModelOrReport(model, &status);
    if (m == nullptr) return status;
    int32_t used = 0;
    for (int32_t slot = 0; slot < m->cache_size; ++slot) {
        const MDA_PTR db_ptr = m->cache[slot].db_ptr;
        if (db_ptr == MDA_NULL_PTR) continue;
        ++used;
        std::fprintf(mda__DbgFile, "Cache Entry %d, db_ptr #%d:%" PRId64 "\n", slot,
                     MDA_PTR_MODEL(db_ptr), MDA_PTR_ENTITY(db_ptr));
        const MDA_DIR_ENTRY* e = mda__GetEntDir(model, MDA_PTR_ENTITY(db_ptr));
        if (e == nullptr) return mpm__LastError;
        mdac::DumpEntry(m, model, MDA_PTR_ENTITY(db_ptr), e);
    }
    std::fprintf(mda__DbgFile, "\n\nCache size = %d entries, %d in use\n", m->cache_size, used);
    return 0;
}
