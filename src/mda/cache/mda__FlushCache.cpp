// Emptying a cache slot.
#include "mda/mda_cache_int.h"

extern "C" int32_t mda__FlushCache(int32_t model, int32_t slot) {
    int32_t status = 0;
    MDA_MODEL* m = mda::ModelOrReport(model, &status);
    if (m == nullptr) return status;
    if (m->cache == nullptr || slot < 0 || slot >= m->cache_size) return 0;
    const MDA_PTR db_ptr = m->cache[slot].db_ptr;
    if (db_ptr == MDA_NULL_PTR) return 0;

    MDA_DIR_ENTRY* e = mda__GetEntDir(model, MDA_PTR_ENTITY(db_ptr));
    if (e == nullptr) return mpm__LastError;
    // Only an unlocked body in memory leaves; anything else merely frees
    // the slot (locking takes an entity out of the cache, so this is
    // defensive).
    if (e->mloc != nullptr && (e->status & (MDA_DELETED | MDA_LOCK_MASK)) == 0) {
        if ((e->status & MDA_NEEDFLUSH) != 0 || !mdac::HasCopy(m, e)) {
            const int32_t rc = mda__SwapToDisk(0, db_ptr);
            if (rc != 0) return rc;
        } else {
            mdac::FreeBody(e->mloc);
            e->mloc = nullptr;
        }
    }
    // An empty slot is the first to be reused.
    m->cache[slot].db_ptr = MDA_NULL_PTR;
    mdac::MoveToHead(m, slot);
    return 0;
}
