// Locking an entity: its body comes out of the cache, or back from disk.
#include "mda/mda_cache_int.h"

extern "C" int32_t mda_LockEntity(uint32_t /*options*/, MDA_PTR db_ptr, void** body) {
    if (body == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    *body = nullptr;
    MDA_MODEL* m = nullptr;
    MDA_DIR_ENTRY* e = mdac::LiveEntry(db_ptr, &m);
    if (e == nullptr) return mpm__LastError;
    const int32_t locks = (e->status & MDA_LOCK_MASK) >> MDA_LOCK_SHIFT;
    if (locks >= MDA_MAX_LOCKS) return mpm__SetError(0, MDA_TOO_MANY_LOCKS, MPM_ERROR);

    if (e->mloc != nullptr) {
        // An unlocked body in memory waits in the slot its status names,
        // unless it never entered the cache (created unlocked).
        if (locks == 0 && m->cache != nullptr) {
            const int32_t slot = e->status & MDA_CACHE_SLOT_MASK;
            if (slot < m->cache_size && m->cache[slot].db_ptr == db_ptr) {
                m->cache[slot].db_ptr = MDA_NULL_PTR;
                mdac::MoveToHead(m, slot);
            }
        }
    } else {
        if (mda__SwapFromDisk(0, db_ptr) == nullptr) return mpm__LastError;
        e = mda__GetEntDir(MDA_PTR_MODEL(db_ptr), MDA_PTR_ENTITY(db_ptr));
        if (e == nullptr) return mpm__LastError;
    }
    e->status = (e->status + MDA_LOCK_ONE) | MDA_RWLOCK;
    *body = e->mloc;
    return 0;
}
