/* MDA internals of locking, the entity cache and swapping (src/mda/cache). */
#ifndef MVX_MDA_CACHE_INT_H
#define MVX_MDA_CACHE_INT_H

#include <cstdint>

#include "mda/mda_int.h"

namespace mdac {

/* Chains of up to this many blocks are described without allocating. */
constexpr int32_t kInlineBlocks = 32;

/* The last block's "holder" and the end of a DBlock chain on disk. */
constexpr int32_t kNoHolder = -1;
constexpr int64_t kNoNext = -1;

/* The entry of a db_ptr that names a live entity (not deleted, not
 * reserved) of an allocated model; null after reporting MDA_INVALID_PTR or
 * a directory failure. *m receives the model. */
MDA_DIR_ENTRY* LiveEntry(MDA_PTR db_ptr, MDA_MODEL** m);

/* The stored copy of an entity of a memory-only model (its body's data
 * address, kept in the disk-location word), or null. */
inline void* StoredCopy(const MDA_DIR_ENTRY* e) {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(e->dloc));
}
inline void SetStoredCopy(MDA_DIR_ENTRY* e, void* body) {
    e->dloc = static_cast<int64_t>(reinterpret_cast<uintptr_t>(body));
}

/* The body of a live entity for a caller that reads it at once and holds
 * no lock, while no code from outside the library can run: the body in
 * memory (locked or not), or a memory-only model's stored copy. Nothing
 * about the entity changes (no lock, no cache order, no copy made); the
 * body stays valid until the next call that may lock, unlock, swap or free
 * entities of its model. Null when the body lies only in the paged file
 * (the caller locks the entity then) with *status 0, or after LiveEntry's
 * failure with its status. */
void* PeekBody(MDA_PTR db_ptr, int32_t* status);

/* Asks the processor to bring in the body that PeekBody would give (the
 * directory entry is read for it), so that a caller about to visit several
 * entities waits for their memory once, not once each. A hint: it changes
 * and reports nothing, and passes over db_ptrs that name no live entity
 * and entities of a bounded directory. */
void PrefetchBody(MDA_PTR db_ptr);

/* The memory-only half of mda__SwapToDisk, for a caller that holds the
 * entry: the body in memory (e->mloc, not null) of db_ptr, a live entity
 * of memory-only model m, becomes its stored copy (with MDA_SWAP_KEEP, a
 * duplicate of it does). */
int32_t ToStoredCopy(uint32_t options, MDA_MODEL* m, MDA_DIR_ENTRY* e, MDA_PTR db_ptr);

/* Frees a body and every block chained behind it. */
void FreeBody(void* body);

/* True when the entity has a copy outside its body: a written DBlock chain,
 * or a memory-only model's stored copy. */
bool HasCopy(const MDA_MODEL* m, const MDA_DIR_ENTRY* e);

/* ---- Cache order list ---- */

/* Takes slot out of the order list and puts it at the head (reused next). */
void MoveToHead(MDA_MODEL* m, int32_t slot);
/* Takes slot out of the order list and puts it at the tail (kept longest). */
void MoveToTail(MDA_MODEL* m, int32_t slot);

/* Takes an entity out of the cache slot that its status names, if it is
 * there; the slot becomes the next to be reused. */
void LeaveCache(MDA_MODEL* m, MDA_DIR_ENTRY* e, MDA_PTR db_ptr);

/* ---- Describing a chain ----
 *
 * One record per block of a chain in chain order: where the block lies,
 * the block that holds the pointer referring to its successor and that
 * pointer's offset inside the holder, and the pointer's value. The last
 * block has holder kNoHolder. */
struct ChainLink {
    MDA_MBLOCK* block;
    void** referrer; /* as in the header */
    void* value;     /* *referrer when the chain was described */
    int32_t holder;
    int64_t offset; /* from the holder's header */
};

/* The records of one chain: up to kInlineBlocks inline, more on the heap. */
class ChainTable {
public:
    ChainTable() = default;
    ChainTable(const ChainTable&) = delete;
    ChainTable& operator=(const ChainTable&) = delete;
    ~ChainTable();
    /* Room for n records; false (nothing reported) when memory ran out. */
    bool Reserve(int32_t n);
    ChainLink& operator[](int32_t i) { return links_[i]; }
    int32_t size() const { return size_; }
    void set_size(int32_t n) { size_ = n; }

private:
    /* Records are written before they are read; left uninitialised, a
     * table costs nothing until it is used. */
    ChainLink inline_[kInlineBlocks];
    ChainLink* links_ = inline_;
    int32_t capacity_ = kInlineBlocks;
    int32_t size_ = 0;
};

/* Outcome of describing or rebuilding a chain. */
enum class ChainResult { kOk, kCorrupt, kNoMemory };

/* Describes the chain of body into table and sums the block sizes into
 * *total. kCorrupt when a header's marker or size is wrong, when a block
 * other than the last has no referrer or the last has one, or when a
 * referrer lies outside the data of every block of the chain. */
ChainResult Describe(void* body, ChainTable* table, int64_t* total);

/* Rebuilds a chain whose n blocks (block i at blocks[i].block, each allocated at
 * its size and filled) are in the stored form: header referrer = offset of
 * the referring pointer in its holder, disk word = the holder's position
 * (kNoHolder in the last block), and the low 32 bits of that pointer = the
 * position of the block it refers to. Links the blocks, restores the
 * pointers and the headers, and relocates the row tables of arrays whose
 * self address differs from their position. kCorrupt when anything is out
 * of range (nothing is freed; the caller frees the blocks). */
ChainResult Rebuild(ChainTable& blocks);

/* Puts the stored form described by t (holders and offsets) onto the blocks
 * of target (t itself, or a copy of its chain block for block): each
 * header's referrer becomes the offset, its disk word the holder, and the
 * referring pointer in the holder's copy gets the position of the block it
 * refers to in its low 32 bits. Next links are left alone. */
void Encode(ChainTable& t, ChainTable& target);

/* A copy of the chain of body at new addresses (the memory-only model's
 * stored copies), in *copy. kCorrupt or kNoMemory (nothing allocated). */
ChainResult Duplicate(void* body, void** copy);

/* Writes the dump of one directory entry to mda__DbgFile. */
void DumpEntry(const MDA_MODEL* m, int32_t model, int64_t number, const MDA_DIR_ENTRY* e);

/* Reports MDA_CORRUPTED_ENT for an entity, marks it deleted and drops its
 * body. Returns the status. */
int32_t Corrupted(int32_t model, MDA_PTR db_ptr);

/* Releases what an entity keeps in memory and on disk: takes it out of the
 * cache, frees its body (unless keep_body: the caller keeps it), its stored
 * copy or its DBlock chain's file block.
 * The entry is left with no body and its initial disk location. Returns 0
 * or the paged file's failure to free the block (everything else is
 * released all the same). */
int32_t ReleaseStorage(int32_t model, MDA_PTR db_ptr, bool keep_body);

} // namespace mdac

namespace mda {

/* Option 0x4 of mda_UnlockEntity: releases the entity and its db_ptr
 * (mda__FreePtr without options). */
int32_t FreeDbptrNow(MDA_PTR db_ptr);

} // namespace mda

#endif
