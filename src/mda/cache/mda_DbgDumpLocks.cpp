// Debug dump of the locked entities of a model.
#include "mda/mda_cache_int.h"

extern "C" int32_t mda_DbgDumpLocks(uint32_t /*options*/, int32_t model) {
    if (model == 0) return 0;
    int32_t status = 0;
    const MDA_MODEL* m = mda::ModelOrReport(model, &status);
    if (m == nullptr) return status;
    for (int64_t n = 1; n < m->next_entity; ++n) {
        const MDA_DIR_ENTRY* e = mda__GetEntDir(model, n);
        if (e == nullptr) return mpm__LastError;
        if ((e->status & (MDA_DELETED | MDA_RESERVED)) == 0 && (e->status & MDA_RWLOCK) != 0)
            mdac::DumpEntry(m, model, n, e);
    }
    return 0;
}
