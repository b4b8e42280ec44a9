// Unlocking an entity: at the last lock its body enters the cache (or, in
// a memory-only model, goes to its stored copy).
#include "mda/mda_cache_int.h"

namespace {

// The body takes the cache's head slot and becomes the most recent.
int32_t EnterCache(MDA_MODEL* m, int32_t model, MDA_PTR db_ptr) {
    const int32_t slot = m->cache_head;
    const int32_t rc = mda__FlushCache(model, slot);
    if (rc != 0) return rc;
    // The entry first: a directory that fails leaves the cache as it was.
    MDA_DIR_ENTRY* e = mda__GetEntDir(model, MDA_PTR_ENTITY(db_ptr));
    if (e == nullptr) return mpm__LastError;
    mdac::MoveToTail(m, slot);
    m->cache[slot].db_ptr = db_ptr;
    e->status = (e->status & ~MDA_CACHE_SLOT_MASK) | slot;
    return 0;
}

} // namespace

extern "C" int32_t mda_UnlockEntity(uint32_t options, MDA_PTR db_ptr) {
    MDA_MODEL* m = nullptr;
    MDA_DIR_ENTRY* e = mdac::LiveEntry(db_ptr, &m);
    if (e == nullptr) return mpm__LastError;
    const bool delayed = (m->options & MDA_NO_DELAYED_WRITE) == 0;
    if ((options & MDA_INVALIDATE) != 0 && delayed)
        return mpm__SetError(0, MDA_NOLONGER_SUPPORTED, MPM_ERROR);
    if ((e->status & MDA_LOCK_MASK) == 0)
        return mpm__SetError(0, MDA_ENTITY_NOT_LOCKED, MPM_WARNING, db_ptr);
    const int32_t model = MDA_PTR_MODEL(db_ptr);
    const int64_t number = MDA_PTR_ENTITY(db_ptr);

    if ((options & MDA_UNLOCK_MODIFIED) != 0) e->status |= MDA_MODIFIED | MDA_NEEDFLUSH;
    if ((options & MDA_INVALIDATE) != 0) e->status |= MDA_INVALID;
    if ((e->status & (MDA_NEW | MDA_MODIFIED)) != 0) {
        const int32_t kind = (e->status & MDA_NEW) != 0 ? 3 : 1;
        e->status &= ~MDA_NEW;
        if (m->callback_lists[kind] != nullptr) {
            MDA_PTR ptr = db_ptr;
            mda::CallEntityCallbacks(m, kind, &ptr);
            // A callback may have reached other entries.
            if ((e = mda__GetEntDir(model, number)) == nullptr) return mpm__LastError;
        }
    }

    const int32_t locks = (options & MDA_UNLOCK_ALL) != 0
                              ? 0
                              : ((e->status & MDA_LOCK_MASK) >> MDA_LOCK_SHIFT) - 1;
    e->status = (e->status & ~MDA_LOCK_MASK) | (locks << MDA_LOCK_SHIFT);
    if (locks > 0) return 0;
    e->status &= ~(MDA_RWLOCK | MDA_MODIFIED);

    if ((options & MDA_UNLOCK_FREE) != 0) return mda::FreeDbptrNow(db_ptr);
    if ((e->status & MDA_INVALID) != 0) {
        e->status &= ~MDA_INVALID;
        // Without a copy elsewhere the body is all there is: keep it.
        if (mdac::HasCopy(m, e)) {
            e->status &= ~MDA_NEEDFLUSH;
            mdac::FreeBody(e->mloc);
            e->mloc = nullptr;
            return 0;
        }
    }

    if (m->cache == nullptr) {
        // No cache: a changed body becomes the stored copy, an unchanged
        // one is dropped.
        if ((e->status & MDA_NEEDFLUSH) != 0 || !mdac::HasCopy(m, e))
            return mda::MemoryOnly(m) && e->mloc != nullptr ? mdac::ToStoredCopy(0, m, e, db_ptr)
                                                            : mda__SwapToDisk(0, db_ptr);
        mdac::FreeBody(e->mloc);
        e->mloc = nullptr;
        return 0;
    }
    if (!delayed && (e->status & MDA_NEEDFLUSH) != 0) {
        const int32_t rc = mda__SwapToDisk(MDA_SWAP_KEEP, db_ptr);
        if (rc != 0) return rc;
    }
    return EnterCache(m, model, db_ptr);
}
