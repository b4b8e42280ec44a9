/* MDA module internals. */
#ifndef MVX_MDA_INT_H
#define MVX_MDA_INT_H

#include "mvx/mda.h"

/* The module's descriptor, copied into the registry by mda_Initialize. */
extern const MVX_MODULE mda_Module;

/* ---- Entity memory blocks and arrays (MBlocks): module internals ---------- */

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"

namespace mdamb {

constexpr int32_t kHeader = MDA_MBLOCK_HDR_SIZE;                         // 40
constexpr int32_t kArrayData = MDA_MBLOCK_HDR_SIZE + MDA_ARRAY_HDR_SIZE; // 88

inline uintptr_t Addr(const void* p) {
    return reinterpret_cast<uintptr_t>(p);
}
inline MDA_MBLOCK* HeaderAt(uintptr_t address) {
    return reinterpret_cast<MDA_MBLOCK*>(address);
}
// The header of a block from the data address that callers hold.
inline MDA_MBLOCK* HeaderOf(const void* data, bool array) {
    return HeaderAt(Addr(data) - (array ? kArrayData : kHeader));
}
// The data address that callers hold for a block (after the array header for
// an array).
inline void* DataOf(MDA_MBLOCK* block) {
    return reinterpret_cast<char*>(block) +
           (block->type == MDA_MBLOCK_ARRAY ? kArrayData : kHeader);
}
inline MDA_ARRAY_HDR* ArrayOf(MDA_MBLOCK* block) {
    return reinterpret_cast<MDA_ARRAY_HDR*>(reinterpret_cast<char*>(block) + kHeader);
}
inline uintptr_t EndOf(const MDA_MBLOCK* block) {
    return Addr(block) + static_cast<uint32_t>(block->size);
}

// Header flags kept by the module beside MDA_MBLOCK_INDEPENDENT.
//
// kFarReferrer, on the first block of a chain (the head: an entity body, or
// an independent block that heads blocks of its own) and on no other block:
// set exactly when some referrer of the chain lies outside the head's own
// memory, i.e. inside another block of the chain (or in memory of no block).
// While it is clear, every pointer that refers to a block of the chain lies
// in the head, so no block is referred to from inside another one that
// could be freed or unlinked: mda_Free then takes a block out without
// looking for blocks that would go with it. Operations that add a referrer
// set it (InsertAfter, mda_AddMemory); those that walk the whole chain
// anyway recompute it (ResetFar); rebuilt chains compute it from their
// stored form. It never reaches the paged file: the stored form of a chain
// is the same whether it is set or not.
//
// kDoomed is used only inside Detach, to mark the blocks it takes out.
constexpr uint8_t kFarReferrer = 0x2;
constexpr uint8_t kDoomed = 0x80;

// True when address lies in the memory of block, header included.
inline bool Inside(const MDA_MBLOCK* block, const void* address) {
    return Addr(address) >= Addr(block) && Addr(address) < EndOf(block);
}
inline void ClearFar(MDA_MBLOCK* block) {
    block->flags = static_cast<uint8_t>(block->flags & ~kFarReferrer);
}
// Records a referrer that has just joined head's chain.
inline void NoteReferrer(MDA_MBLOCK* head, void* const* referrer) {
    if (!Inside(head, referrer)) head->flags = static_cast<uint8_t>(head->flags | kFarReferrer);
}
// Sets or clears head's kFarReferrer from a walk of its whole chain.
void ResetFar(MDA_MBLOCK* head);

// The hot helpers below are defined here so that the operations that run
// once per block (mda_Malloc, mda_Free) inline them; their reports are made
// out of line by these two.
int32_t ReportBadBlock(const MDA_MBLOCK* block); // MDA_BAD_MBLOCK
int32_t ReportNoMemory();                        // MDA_MALLOC_ERR

// 0 when the header carries the marker (and, with type != 0, that type);
// otherwise reports MDA_BAD_MBLOCK with the header's address.
inline int32_t Check(const MDA_MBLOCK* block, int type) {
    if (block->marker == MDA_MBLOCK_MARKER && (type == 0 || block->type == type)) return 0;
    return ReportBadBlock(block);
}

// The block whose data address callers hold, of the given type (0: either
// kind, read as plain). A wrong marker or kind reports MDA_BAD_MBLOCK with
// the header's address, found without reading outside either kind of block:
// the plain header's position is checked first.
inline int32_t Find(const void* data, int type, MDA_MBLOCK** block) {
    // The plain header's position lies inside both kinds of block (40 bytes
    // before the data of a plain block, within the array header of an
    // array, whose row-pointer count can never equal the marker). Only when
    // no plain header is found there is the array header's position read.
    MDA_MBLOCK* plain = HeaderOf(data, false);
    if (plain->marker == MDA_MBLOCK_MARKER || type != MDA_MBLOCK_ARRAY) {
        if (int32_t status = Check(plain, type)) return status;
        *block = plain;
        return 0;
    }
    MDA_MBLOCK* array = HeaderOf(data, true);
    if (int32_t status = Check(array, MDA_MBLOCK_ARRAY)) return status;
    *block = array;
    return 0;
}

// The owner's block (the head of its chain), checked; null owner: *head null.
inline int32_t OwnerBlock(const void* owner, MDA_MBLOCK** head) {
    *head = nullptr;
    if (owner == nullptr) return 0;
    MDA_MBLOCK* block = HeaderOf(owner, false);
    if (int32_t status = Check(block, MDA_MBLOCK_PLAIN)) return status;
    *head = block;
    return 0;
}

// The total size of a block with data bytes of data, or MDA_MALLOC_ERR
// reported when it is negative or the total does not fit 32 bits.
inline int32_t TotalSize(int64_t data, int32_t* total) {
    // The largest total that a signed 32-bit size field holds, as a multiple of 4.
    constexpr int64_t kMaxTotal = 0x7FFFFFFC;
    if (data < 0 || data > kMaxTotal - kHeader) return ReportNoMemory();
    *total = static_cast<int32_t>((data + kHeader + 3) & ~int64_t{3});
    return 0;
}

// Small blocks freed by mda_Free are kept for reuse, one LIFO list per total
// size (a multiple of 4 up to kReuseLargest), at most kReuseDepth blocks per
// size, linked through their next field. A block of a given total size
// always has room for that size, so a request for exactly that size can take
// it without knowing how malloc sized it. Entities of one type, and their
// arrays, come in recurring sizes, so a translator that frees and makes
// entities reuses most of them; the lists hold at most about 0.5 MB, and
// mda_Terminate returns them (ReleaseReused).
constexpr int32_t kReuseLargest = 512;
constexpr uint8_t kReuseDepth = 16;
struct ReuseLists {
    MDA_MBLOCK* first[kReuseLargest / 4 + 1];
    uint8_t count[kReuseLargest / 4 + 1];
};
extern ReuseLists g_reuse;

// Under AddressSanitizer a kept block's data is poisoned, so that a caller
// who still uses memory it freed is caught as with free itself.
#if defined(__SANITIZE_ADDRESS__)
#define MVX_MDA_POISON 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MVX_MDA_POISON 1
#endif
#endif
#ifdef MVX_MDA_POISON
extern "C" void __asan_poison_memory_region(void const volatile* addr, size_t size);
extern "C" void __asan_unpoison_memory_region(void const volatile* addr, size_t size);
inline void Poison(MDA_MBLOCK* block, bool on) {
    char* data = reinterpret_cast<char*>(block) + kHeader;
    const auto bytes = static_cast<size_t>(block->size - kHeader);
    if (on) {
        __asan_poison_memory_region(data, bytes);
    } else {
        __asan_unpoison_memory_region(data, bytes);
    }
}
#else
inline void Poison(MDA_MBLOCK*, bool) {}
#endif

// Frees a block taken out of every chain, into the reuse lists when there is
// room for it there.
inline void FreeBlock(MDA_MBLOCK* block) {
    const int32_t total = block->size;
    if (total <= kReuseLargest && block->type == MDA_MBLOCK_PLAIN &&
        g_reuse.count[total / 4] < kReuseDepth) {
        Poison(block, true);
        block->next = g_reuse.first[total / 4];
        g_reuse.first[total / 4] = block;
        ++g_reuse.count[total / 4];
        return;
    }
    std::free(block);
}

// Frees every block kept for reuse.
void ReleaseReused();

// A new zeroed plain block of size data bytes, independent, with its size
// and marker set; MDA_MALLOC_ERR reported when the size is refused or
// memory runs out.
inline int32_t NewPlain(int32_t size, MDA_MBLOCK** block) {
    int32_t total = 0;
    if (int32_t status = TotalSize(size, &total)) return status;
    MDA_MBLOCK* made = nullptr;
    if (total <= kReuseLargest && g_reuse.first[total / 4] != nullptr) {
        if (mvxc::ReuseFails(static_cast<size_t>(total))) return ReportNoMemory();
        made = g_reuse.first[total / 4];
        g_reuse.first[total / 4] = made->next;
        --g_reuse.count[total / 4];
        Poison(made, false);
        std::memset(made, 0, static_cast<size_t>(total));
    } else {
        made = static_cast<MDA_MBLOCK*>(mvxc::Calloc(1, static_cast<size_t>(total)));
    }
    if (made == nullptr) return ReportNoMemory();
    made->size = total;
    made->marker = MDA_MBLOCK_MARKER;
    made->type = MDA_MBLOCK_PLAIN;
    made->flags = MDA_MBLOCK_INDEPENDENT;
    *block = made;
    return 0;
}

// Puts block directly after head; referrer (the pointer that will hold the
// block's data address) becomes head's referrer and is noted in head's
// kFarReferrer. The block stops being independent (and a head).
inline void InsertAfter(MDA_MBLOCK* head, MDA_MBLOCK* block, void** referrer) {
    block->referrer = head->referrer;
    block->next = head->next;
    block->flags =
        static_cast<uint8_t>(block->flags & ~(MDA_MBLOCK_INDEPENDENT | kFarReferrer));
    head->referrer = referrer;
    head->next = block;
    NoteReferrer(head, referrer);
}

// The block before block in head's chain, or null when block is not after
// head in that chain.
inline MDA_MBLOCK* FindPrev(MDA_MBLOCK* head, const MDA_MBLOCK* block) {
    for (MDA_MBLOCK* prev = head; prev->next != nullptr; prev = prev->next)
        if (prev->next == block) return prev;
    return nullptr;
}

// Takes block (whose predecessor is prev) out of the chain; its referrer and
// next are cleared and it becomes independent, the head of nothing but
// itself. The chain's kFarReferrer is left as it was.
inline void Unlink(MDA_MBLOCK* prev, MDA_MBLOCK* block) {
    prev->next = block->next;
    prev->referrer = block->referrer;
    block->next = nullptr;
    block->referrer = nullptr;
    block->flags =
        static_cast<uint8_t>((block->flags | MDA_MBLOCK_INDEPENDENT) & ~kFarReferrer);
}

// Puts replacement in old's place in head's chain (head may be old itself):
// the link to old now leads to replacement, which takes over old's next and
// referrer. Referrers are not moved.
void Replace(MDA_MBLOCK* head, MDA_MBLOCK* old, MDA_MBLOCK* replacement);

// Takes out of head's chain every block (except keep) whose referring
// pointer lies in memory that dropped() names, then, in turn, the blocks
// referred to from the blocks so taken, and returns them as a chain of their
// own in their old order (null when none); *first_referrer receives the
// pointer that referred to its first block. Allocates nothing.
using DroppedFn = bool (*)(const void* context, uintptr_t referrer);
MDA_MBLOCK* Detach(MDA_MBLOCK* head, const MDA_MBLOCK* keep, DroppedFn dropped,
                   const void* context, void*** first_referrer);

// Detach, then frees the blocks taken.
void FreeUnreachable(MDA_MBLOCK* head, const MDA_MBLOCK* keep, DroppedFn dropped,
                     const void* context);

// Frees block and every block that follows it.
void FreeChain(MDA_MBLOCK* block);

// Shape of an array block.
struct ArrayShape {
    int32_t ndims;
    int32_t dims[MDA_MAX_DIMS];
    int64_t elem_size;
    int64_t rows;        // element rows: d1 * ... * d(n-1)
    int64_t row_ptrs;    // d1 + d1*d2 + ... + d1*...*d(n-1)
    int64_t elem_offset; // from the array header
    int64_t data_size;   // block data: elem_offset + rows * dn * elem_size
};

// Validates a request and computes its shape; reports MDA_NULL_MEMPTR,
// MDA_ZERO_DIM or MDA_MALLOC_ERR.
int32_t ArrayLayout(int32_t elem_size, int32_t ndims, const int32_t* dims, ArrayShape* shape);

// A new independent, zeroed array block of that shape with its tables built;
// when memory runs out, failure_code (MDA_MALLOC_ERR or MDA_REALLOC_ERR) is
// reported.
int32_t NewArray(const ArrayShape& shape, MDA_MBLOCK** block, int32_t failure_code);

/* The chain in which a block is being replaced, in *head: the owner's,
 * which must hold old after its first block (or be old itself, when
 * allow_self lets an entity body be reallocated); without an owner old
 * itself, which must then be independent (it may head a chain of its own,
 * an entity body, which follows it). MDA_BAD_MBLOCK otherwise, or the
 * owner's own failure. */
int32_t ReallocChain(void* owner, MDA_MBLOCK* old, bool allow_self, MDA_MBLOCK** head);

/* Reads the ndims trailing 32-bit dimensions of a variadic array call into
 * dims; none when ndims is above MDA_MAX_DIMS (the request is refused
 * later, so nothing past the caller's arguments is read). */
void ReadDims(int32_t ndims, va_list args, int32_t dims[MDA_MAX_DIMS]);

/* mda__MallocArray with the dimensions read from a variadic call's list:
 * the body of mda_MallocArray and mda_CallocArray. */
int32_t MallocArrayV(uint32_t options, void* owner, int32_t elem_size, void** out, int32_t ndims,
                     va_list args);

} // namespace mdamb

/* ---- End of MBlock internals ---------------------------------------------- */
/* ---- Models and the entity directory ------------------------------------- */

#include <cstddef>

#include "mvx/mpm.h"


namespace mda {

/* The file name under which the overflow file's short transfers are
 * reported. */
inline constexpr const char* kOverflowName = "DirEntTmp";

/* The allocated model with this number, or null (no report). Inline: it
 * runs several times for every entity an operation touches. */
inline MDA_MODEL* ModelAt(int32_t model) {
    if (model < 1 || model > MDA_MAX_MODELS) return nullptr;
    MDA_MODEL* m = &mda__Model[model];
    return m->in_use != 0 ? m : nullptr;
}
/* As ModelAt, reporting MDA_INVALID_MODEL when there is none (the report
 * made out of line by ReportNoModel, which returns its status). */
int32_t ReportNoModel();
inline MDA_MODEL* ModelOrReport(int32_t model, int32_t* status) {
    MDA_MODEL* m = ModelAt(model);
    if (m == nullptr) *status = ReportNoModel();
    return m;
}

/* True when the model has a bounded directory. */
inline bool Bounded(const MDA_MODEL* m) {
    return m->dir_blocks != nullptr;
}
/* True when the model is memory-only. */
inline bool MemoryOnly(const MDA_MODEL* m) {
    return (m->options & MDA_MEMORY_ONLY) != 0;
}

/* The TFI of a TF in a dictionary, or -1. */
int32_t FindTFI(const DDF_DICT* ddf, int32_t tf);

/* Sets the current-model variables and switches the dictionary, then calls
 * the make-current callback; model 0 makes none current. No checks. */
void MakeCurrent(int32_t model, int32_t argument);

/* Takes an entity number (the undo record lets a caller give it back). */
struct NumberUndo {
    int64_t number = 0;
    bool from_free_list = false;
    int64_t old_head = 0;
};
int32_t TakeNumber(int32_t model, MDA_MODEL* m, NumberUndo* undo);
void GiveBackNumber(MDA_MODEL* m, const NumberUndo& undo);

/* Puts a released entity number on the model's list of freed numbers: its
 * entry becomes MDA_DELETED (or MDA_RESERVED when keep_reserved, in which
 * case the number is not reused) with no body, and takes a live entity out
 * of the model's entity list. The caller has released the
 * body and any stored copy. Returns 0 or a bounded-directory failure. */
int32_t ReleaseNumber(int32_t model, int64_t number, bool keep_reserved);

/* The entry of a reserved db_ptr of the model, for a caller that passes
 * MDA_USE_DBPTR; null after reporting MDA_INVALID_PTR (not a reserved or
 * live db_ptr of that model) or MDA_PTR_ALREADY_CREATED (not exactly
 * MDA_RESERVED). */
MDA_DIR_ENTRY* ReservedEntry(int32_t model, MDA_PTR db_ptr, int32_t* status);

/* The entry for a new entity of the model: with MDA_USE_DBPTR in options the
 * entry of the reserved *db_ptr (ReservedEntry), otherwise that of a newly
 * taken number, given back when its entry cannot be had. undo->number is
 * the entity number. Null after a failure, whose status is in *status. */
MDA_DIR_ENTRY* NewEntry(uint32_t options, int32_t model, MDA_MODEL* m, const MDA_PTR* db_ptr,
                        NumberUndo* undo, int32_t* status);

/* The initial disk location of an entry. */
inline int64_t InitialDloc(const MDA_MODEL* m) {
    return MemoryOnly(m) ? 0 : -1;
}

/* Bounded directory: the entry of entity number n, its block brought into
 * memory; null after reporting a failure. */
MDA_DIR_ENTRY* BoundedEntry(MDA_MODEL* m, int64_t n);
/* Calls visit for the entry of every entity number from 1 to below the next
 * entity number. A bounded directory's blocks are visited in memory and, for
 * those evicted, in scratch copies read from the overflow file, so nothing
 * is evicted, written or allocated (changes to those copies are lost).
 * Returns 0, or the first failure to read an evicted block (DOF_READ_ERR,
 * reported): the entries of that block that were read are still visited. */
using EntryVisitor = void (*)(MDA_MODEL* m, MDA_DIR_ENTRY* entry);
int32_t ForEachEntry(MDA_MODEL* m, EntryVisitor visit);
/* Closes the model's paged file, if any, and clears the handle. A failed
 * close is finished all the same (handle released, temporary file
 * deleted); its status is returned. */
int32_t CloseSwapFile(MDA_MODEL* m);
/* Bounded directory: drops every block and closes the overflow file. */
void FreeBoundedDirectory(MDA_MODEL* m);
/* Compares bounded-directory blocks by number. */
int CompareDirBlocks(const void* key, const void* object);
/* Compares tolerances by name. */
int CompareTolerances(const void* key, const void* object);

/* The parent-list area of a back-pointer model, made with the model
 * (src/mda/backptr); its release with every parent list and the
 * no-back-pointer type set. */
int32_t CreateParentArea(int32_t model, MDA_MODEL* m);
void FreeBackPtrInfo(int32_t model, MDA_MODEL* m);
/* Writing an entity at once under MDA_NO_DELAYED_WRITE, and the
 * memory-only model's stored copy released with the model (src/mda/cache). */
int32_t WriteEntityNow(MDA_PTR db_ptr);
void FreeStoredCopy(MDA_MODEL* m, MDA_DIR_ENTRY* entry);

/* The model's own entity list (src/mda/lists): one slot per dictionary
 * type, made with the model (before it is in use), appended to at entity
 * creation, moved by retyping, freed with the model. */
int32_t CreateEntityList(int32_t model, MDA_MODEL* m);
void FreeEntityList(MDA_MODEL* m);
int32_t EntityListAdd(MDA_MODEL* m, int32_t tfi, MDA_PTR db_ptr);
int32_t EntityListMove(MDA_MODEL* m, int32_t old_tfi, int32_t new_tfi, MDA_PTR db_ptr);
int32_t EntityListRemove(MDA_MODEL* m, int32_t tfi, MDA_PTR db_ptr);

/* Entity callbacks (src/mda/appdata): calls the model's list of a kind with
 * that code and the db_ptr's address; releases the model's four lists. */
void CallEntityCallbacks(MDA_MODEL* m, int32_t kind, MDA_PTR* db_ptr);
void FreeCallbackLists(MDA_MODEL* m);

} // namespace mda

#endif
