// Counting the locked entities of a model.
#include "mda/mda_cache_int.h"

extern "C" int32_t mda_DbgGetLockedCount(uint32_t /*options*/, int32_t model) {
    if (model == 0) return 0;
    int32_t status = 0;
    const MDA_MODEL* m = mda::ModelOrReport(model, &status);
    if (m == nullptr) return 0;
    int32_t count = 0;
    for (int64_t n = 1; n < m->next_entity; ++n) {
        const MDA_DIR_ENTRY* e = mda__GetEntDir(model, n);
        if (e == nullptr) {
            n |= MDA_DIR_BLOCK_ENTRIES - 1; // a bounded block that cannot be read
            continue;
        }
        if ((e->status & (MDA_DELETED | MDA_RESERVED)) == 0 && (e->status & MDA_RWLOCK) != 0)
            ++count;
    }
    return count;
}
