/*
 * Writing an entity out of memory: to its model's paged file as a chain of
 * DBlocks, or, in a memory-only model, to its stored copy.
 *
 * Design note
 * -----------
 * In memory an entity is a chain of MBlocks (mda.h): the body's block
 * first, then every array and string it owns. Each header names the next
 * block and the address of the pointer (its "referrer", somewhere in the
 * chain's data) that holds the next block's data address. Addresses mean
 * nothing once the blocks are freed, so the stored form replaces each of
 * them by a position:
 *
 *   file block (dof_AllocateBlock, one per entity, size = sum of block sizes)
 *   +--------------------+----------------+--------------------+------
 *   | header 0 | data 0  | header 1 | ... | header n-1 | data  |
 *   +--------------------+----------------+--------------------+------
 *     ^ directory entry's disk location
 *
 *   header field   in memory                    stored
 *   size           total bytes, header included unchanged
 *   referrer       address of the pointer       its byte offset from the start
 *                  that refers to block i+1     of the block that holds it
 *   disk word      0                            position of that block (0 = the
 *                                               body); -1 in the last block
 *   next           block i+1                    file offset of DBlock i+1; -1
 *                                               in the last block
 *   marker, type, flags                         unchanged, but for the head's
 *                                               far-referrer bit (mda_int.h),
 *                                               left out and found again
 *
 * and the pointer itself keeps its high 32 bits but has the low 32 replaced
 * by i+1, the position of the block it refers to (the body, position 0, is
 * never referred to). Arrays keep their own address in their header, so the
 * reader can move their row tables by the distance to their new place.
 *
 * Invariants:
 *   - the blocks are written in chain order at consecutive offsets from the
 *     disk location, inside one file block whose used size is at least the
 *     chain's total (a larger old block is reused as it is);
 *   - an entity is written only when its body is in memory; on success the
 *     file (or stored copy) holds exactly the body's contents and
 *     MDA_MODIFIED and MDA_NEEDFLUSH are clear;
 *   - the chain is described (positions and offsets found) before anything
 *     is changed, so a damaged chain is found before the file is touched;
 *   - pointers and headers are changed in place only between the encoding
 *     and the write, and are put back from the table unless the blocks are
 *     freed right after a complete write.
 *
 * On failure:
 *   - a referrer outside every block, or a damaged header: CORRUPTED_ENT,
 *     the entity is deleted (its blocks freed when their headers still
 *     hold together);
 *   - memory for a long chain's table or a stored copy, or any failure of
 *     the paged file: the headers and pointers are restored, the body stays
 *     in memory with MDA_MODIFIED and MDA_NEEDFLUSH set, the status is
 *     returned. Whatever copy the entity had is older than its body (or
 *     half overwritten), so it is given back (best effort) and the entity
 *     counts as never written: the body is its only copy, and every path
 *     that would drop it (cache, invalidation) writes it first. Hence the
 *     invariant that invalidation relies on: an entity that has a copy has
 *     no changes older than its current lock.
 */
#include <cstdlib>

#include "mda/mda_cache_int.h"

namespace {

using mdac::ChainResult;
using mdac::ChainTable;

// After a failed write the body is the entity's only current copy: what
// the file or the stored copy held is older (or half overwritten), so it is
// given back, and the entity is marked to be written again.
int32_t Failed(MDA_MODEL* m, MDA_DIR_ENTRY* e, int32_t status) {
    if (mda::MemoryOnly(m)) {
        mdac::FreeBody(mdac::StoredCopy(e));
    } else if (e->dloc != -1) {
        dof_FreeBlock(m->dof, e->dloc); // best effort: the write failed already
    }
    e->dloc = mda::InitialDloc(m);
    e->status |= MDA_MODIFIED | MDA_NEEDFLUSH;
    return status;
}

} // namespace

int32_t mdac::ToStoredCopy(uint32_t options, MDA_MODEL* m, MDA_DIR_ENTRY* e, MDA_PTR db_ptr) {
    void* copy = e->mloc;
    if ((options & MDA_SWAP_KEEP) != 0) {
        const ChainResult r = mdac::Duplicate(e->mloc, &copy);
        if (r == ChainResult::kCorrupt) return mdac::Corrupted(MDA_PTR_MODEL(db_ptr), db_ptr);
        if (r == ChainResult::kNoMemory)
            return Failed(m, e, mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR));
    } else {
        e->mloc = nullptr;
    }
    mdac::FreeBody(mdac::StoredCopy(e));
    mdac::SetStoredCopy(e, copy);
    e->status &= ~(MDA_MODIFIED | MDA_NEEDFLUSH);
    return 0;
}

namespace {

// The file block that will hold total bytes: the entity's own when it is
// large enough, else a new one (the old one is given back first).
int32_t Place(MDA_MODEL* m, MDA_DIR_ENTRY* e, int64_t total, int64_t* offset) {
    if (e->dloc != -1) {
        uint32_t used = 0;
        int32_t rc = dof_GetBlockSize(m->dof, e->dloc, &used);
        if (rc != 0) return rc;
        if (used >= total) {
            *offset = e->dloc;
            return 0;
        }
        if ((rc = dof_FreeBlock(m->dof, e->dloc)) != 0) return rc;
        e->dloc = -1;
    }
    return dof_AllocateBlock(m->dof, static_cast<uint32_t>(total), offset);
}

// Puts headers and pointers back as the table recorded them.
void Restore(ChainTable& t) {
    const int32_t n = t.size();
    for (int32_t i = 0; i < n; ++i) {
        MDA_MBLOCK* b = t[i].block;
        b->referrer = t[i].referrer;
        b->next = i + 1 < n ? t[i + 1].block : nullptr;
        b->disk = 0;
    }
    for (int32_t i = 0; i + 1 < n; ++i)
        *t[i].referrer = t[i].value;
    if (n > 0) mdamb::ResetFar(t[0].block); // the stored form left it out
}

int32_t Write(MDA_MODEL* m, ChainTable& t, int64_t offset) {
    const int32_t n = t.size();
    mdac::Encode(t, t);
    int64_t at = offset;
    for (int32_t i = 0; i < n; ++i) {
        MDA_MBLOCK* b = t[i].block;
        const int64_t next = i + 1 < n ? at + b->size : mdac::kNoNext;
        b->next = reinterpret_cast<MDA_MBLOCK*>(static_cast<intptr_t>(next));
        const int32_t rc = dof_ReadWrite(DOF_WRITE, m->dof, b->size, at, b);
        if (rc != 0) return rc;
        at = next;
    }
    return 0;
}

} // namespace

extern "C" int32_t mda__SwapToDisk(uint32_t options, MDA_PTR db_ptr) {
    MDA_MODEL* m = nullptr;
    MDA_DIR_ENTRY* e = mdac::LiveEntry(db_ptr, &m);
    if (e == nullptr) return mpm__LastError;
    if (e->mloc == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    const int32_t model = MDA_PTR_MODEL(db_ptr);
    if (mda::MemoryOnly(m)) return mdac::ToStoredCopy(options, m, e, db_ptr);

    ChainTable t;
    int64_t total = 0;
    const ChainResult r = mdac::Describe(e->mloc, &t, &total);
    if (r == ChainResult::kCorrupt) return mdac::Corrupted(model, db_ptr);
    if (r == ChainResult::kNoMemory) return Failed(m, e, mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR));

    // Nothing below touches the directory, so e stays in place.
    int64_t offset = -1;
    int32_t rc = Place(m, e, total, &offset);
    if (rc == 0) {
        e->dloc = offset; // the block is the entity's now
        rc = Write(m, t, offset);
        if (rc != 0 || (options & MDA_SWAP_KEEP) != 0) Restore(t);
    }
    if (rc != 0) return Failed(m, e, rc);
    if ((options & MDA_SWAP_KEEP) == 0) {
        for (int32_t i = 0; i < t.size(); ++i)
            std::free(t[i].block);
        e->mloc = nullptr;
        mdac::LeaveCache(m, e, db_ptr); // a body no longer in memory waits nowhere
    }
    e->status &= ~(MDA_MODIFIED | MDA_NEEDFLUSH);
    return 0;
}
