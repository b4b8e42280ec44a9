/*
 * MDA: entity store (module 9).
 */
#ifndef MVX_MDA_H
#define MVX_MDA_H

#include <stdint.h>
#include <stdio.h>

#include "mvx/ddf.h"
#include "mvx/types.h"

MVX_BEGIN_DECLS

/*
 * Messages (status codes).
 *
 * Twenty-four messages have fixed codes: 0x90001-0x90005, 0x90009-0x9000D,
 * 0x90011, 0x90012, 0x90014-0x90018, 0x90025, 0x90026, 0x90028, 0x9002A and
 * 0x9002D-0x9002F. The other messages of the module take the free numbers in
 * ascending order, in the order in which the module's operations introduce
 * them: back-pointers and db_ptr replacement (HAS_PARENTS 0x90006,
 * NO_BACKPTRS 0x90007, PAR_NOT_FOUND 0x90008, TREE_ERR 0x9000E,
 * CHILD_NOT_FOUND 0x9000F, MODELS_DIFFER 0x90010, ENTITY_NOT_DELETED 0x90013,
 * BAD_BACKPTRS 0x90019), entity lists (DUPLICATE_ENTLIST_ENTRY 0x9001A), then
 * saving and restoring models (CROSS_MODEL_PTR 0x9001B, FILE_EXISTS 0x9001C,
 * OPEN_ERR 0x9001D, INTERNAL_ERR 0x9001E, MODEL_NOT_EMPTY 0x9001F,
 * INCORRECT_DBNAME 0x90020, INCORRECT_DBVERSION 0x90021,
 * NEWER_DBRELEASE 0x90022, OLDER_DBRELEASE 0x90023, UNKNOWN_NAME 0x90024,
 * FILE_READ_ERR 0x90027).
 *
 * The three numbers left over, 0x90029, 0x9002B and 0x9002C, are reserved:
 * their entries are named _RESERVED_41, _RESERVED_43 and _RESERVED_44 (by
 * message number) and say that they are not used. Nothing issues them.
 *
 * MALLOC_ERR and REALLOC_ERR raise the memory exception; the others none.
 */
#define MDA_INVALID_MODEL 0x90001
#define MDA_INVALID_PTR 0x90002
#define MDA_NULL_MEMPTR 0x90003
#define MDA_MALLOC_ERR 0x90004
#define MDA_REALLOC_ERR 0x90005
#define MDA_HAS_PARENTS 0x90006
#define MDA_NO_BACKPTRS 0x90007
#define MDA_PAR_NOT_FOUND 0x90008
#define MDA_NO_MORE_MODEL 0x90009
#define MDA_NO_DDF 0x9000A
#define MDA_NOT_RWLOCKED 0x9000B
#define MDA_TOO_MANY_LOCKS 0x9000C
#define MDA_PAR_LIST_ERR 0x9000D
#define MDA_TREE_ERR 0x9000E
#define MDA_CHILD_NOT_FOUND 0x9000F
#define MDA_MODELS_DIFFER 0x90010
#define MDA_ZERO_DIM 0x90011
#define MDA_ARRAY_MISMATCH 0x90012
#define MDA_ENTITY_NOT_DELETED 0x90013
#define MDA_DBG_BADMEMREF 0x90014
#define MDA_DBG_BIGDBLOCK 0x90015
#define MDA_DBG_BADBLOCKNUM 0x90016
#define MDA_DBG_BADPTRNUM 0x90017
#define MDA_CALLBACK_NOT_FOUND 0x90018
#define MDA_BAD_BACKPTRS 0x90019
#define MDA_DUPLICATE_ENTLIST_ENTRY 0x9001A
#define MDA_CROSS_MODEL_PTR 0x9001B
#define MDA_FILE_EXISTS 0x9001C
#define MDA_OPEN_ERR 0x9001D
#define MDA_INTERNAL_ERR 0x9001E
#define MDA_MODEL_NOT_EMPTY 0x9001F
#define MDA_INCORRECT_DBNAME 0x90020
#define MDA_INCORRECT_DBVERSION 0x90021
#define MDA_NEWER_DBRELEASE 0x90022
#define MDA_OLDER_DBRELEASE 0x90023
#define MDA_UNKNOWN_NAME 0x90024
#define MDA_NOT_IND_MBLOCK 0x90025
#define MDA_BAD_MBLOCK 0x90026
#define MDA_FILE_READ_ERR 0x90027
#define MDA_NO_MORE_PTR 0x90028
#define MDA__RESERVED_41 0x90029
#define MDA_PTR_ALREADY_CREATED 0x9002A
#define MDA__RESERVED_43 0x9002B
#define MDA__RESERVED_44 0x9002C
#define MDA_NOLONGER_SUPPORTED 0x9002D
#define MDA_ENTITY_NOT_LOCKED 0x9002E
#define MDA_CORRUPTED_ENT 0x9002F

/*
 * ---- Entity memory blocks and arrays (MBlocks) ------------------------------
 *
 * Everything an entity owns in memory (its body, its variable-length arrays
 * and strings) is an MBlock: a heap block that starts with a 40-byte
 * MDA_MBLOCK header, directly followed by the data that callers see. The
 * blocks of one entity form a chain that starts with the body's block; each
 * header records the next block and the address of the pointer (somewhere in
 * the entity's blocks) that holds the next block's data address, its
 * "referrer". With that, the whole entity can be freed with one call, written
 * to disk and rebuilt at other addresses, and pointers can be relocated when
 * a block moves. A block that belongs to no entity is "independent" and can
 * later be attached to one (mda_AddMemory).
 *
 * Chain invariants, kept by every operation below:
 *   - the chain starts at the owner's block; new blocks go directly after it;
 *   - for every block B with a successor, *B->referrer is the successor's
 *     data address (header + 40 for a plain block, + 88 for an array);
 *     the last block's referrer and next are null;
 *   - every block after the first has the independent flag clear.
 *
 * Sizes are 32-bit: a block's total size (header included, rounded up to a
 * multiple of 4) must fit in a signed 32-bit value; larger requests, and
 * negative sizes, are refused with MDA_MALLOC_ERR before anything is
 * allocated. Every failure leaves the chain and the caller's pointers as they
 * were.
 *
 * Pointers handed to these operations must be data addresses of this
 * module's blocks: the operations check the marker (MDA_BAD_MBLOCK with the
 * header address when it is wrong) and the block type, but a pointer to
 * memory of some other origin may be read before its start.
 *
 * Blocks that become unreachable: when mda_Free frees a block, or
 * mda_Realloc / mda_ReallocArray drop part of a block, every block of the
 * owner's chain whose referring pointer lay in the released bytes is freed as
 * well (and, in turn, the blocks referred to from those). Nothing could reach
 * them any more, and their referrers would point into freed memory.
 */

/* The marker of a valid header: the bytes "KLBM". */
#define MDA_MBLOCK_MARKER 0x4D424C4Bu
/* Block types. */
#define MDA_MBLOCK_PLAIN 1
#define MDA_MBLOCK_ARRAY 2
/* Header flags. */
#define MDA_MBLOCK_INDEPENDENT 0x1
/* Bytes of the header, and of an array header after it. */
#define MDA_MBLOCK_HDR_SIZE 40
#define MDA_ARRAY_HDR_SIZE 48
/* Most dimensions of an array block. */
#define MDA_MAX_DIMS 5

/* Options of mda_Free. */
#define MDA_FREE_UNLINK 0x1 /* only unlink the block from the owner's chain */
#define MDA_FREE_ARRAY 0x2  /* the pointer is an array */
/* Option of mda_AddMemory: the pointer is an array. */
#define MDA_ADD_ARRAY 0x1
/* Option of mda__ReallocArray / mda_ReallocArray: drop the old contents. */
#define MDA_REALLOC_DISCARD 0x1

#ifndef MDA_UNKNOWN_TF
/* Answer of mda__MallocEntity for a TF that the dictionary lacks (no message). */
#define MDA_UNKNOWN_TF 0x9FFFB
#endif

/*
 * The header at the start of every entity body (24 bytes): the entity's TF,
 * its index in the dictionary's type table, its own db_ptr and the db_ptr of
 * the entity it was made from (its origin).
 */
typedef struct MDA_ENTITY_HDR {
    int32_t tf;
    int32_t tfi;
    MDA_PTR own;
    MDA_PTR origin;
} MDA_ENTITY_HDR;

/*
 * MBlock header (40 bytes), directly before the block's data.
 *   size      total bytes of the block, header included: data size + 40,
 *             rounded up to a multiple of 4
 *   referrer  address of the pointer that holds the next block's data
 *             address; null in the last block
 *   disk      used only while the chain is written to disk
 *   next      next block of the chain, or null
 *   marker    MDA_MBLOCK_MARKER
 *   type      MDA_MBLOCK_PLAIN or MDA_MBLOCK_ARRAY
 *   flags     MDA_MBLOCK_INDEPENDENT
 */
typedef struct MDA_MBLOCK {
    int32_t size;
    uint8_t reserved4[4];
    void** referrer;
    int32_t disk;
    uint8_t reserved20[4];
    struct MDA_MBLOCK* next;
    uint32_t marker;
    uint8_t type;
    uint8_t flags;
    uint16_t reserved38;
} MDA_MBLOCK;

/*
 * Array header (48 bytes): the start of an array block's data. It is
 * followed by the row-pointer tables and then, at elem_offset from the array
 * header, the elements. The pointer that callers receive is the array
 * header's address + 48: the top-level table of dims[0] pointers.
 *   self         the array header's own address when the tables were built
 *                (lets a reader relocate the tables after a move)
 *   ndims        number of dimensions n, 2 to 5
 *   dims         the n dimensions
 *   elem_size    bytes per element
 *   row_ptrs     row pointers: d1 + d1*d2 + ... + d1*...*d(n-1)
 *   elem_offset  48 + 8 * row_ptrs, rounded up to a multiple of 8
 * Level i of the tables (0 <= i < n-1) holds d1*...*d(i+1) pointers; those
 * of a level point at consecutive rows of the next level, and those of the
 * last level at consecutive element rows of dn * elem_size bytes.
 */
typedef struct MDA_ARRAY_HDR {
    void* self;
    uint8_t ndims;
    uint8_t reserved9[3];
    int32_t dims[MDA_MAX_DIMS];
    int64_t elem_size;
    int32_t row_ptrs;
    int32_t elem_offset;
} MDA_ARRAY_HDR;

#ifdef __cplusplus
#define MDA_LAYOUT_ASSERT(cond, text) static_assert(cond, text)
#else
#define MDA_LAYOUT_ASSERT(cond, text) _Static_assert(cond, text)
#endif
MDA_LAYOUT_ASSERT(sizeof(MDA_ENTITY_HDR) == 24, "entity header is 24 bytes");
MDA_LAYOUT_ASSERT(offsetof(MDA_ENTITY_HDR, tfi) == 4, "entity header: tfi");
MDA_LAYOUT_ASSERT(offsetof(MDA_ENTITY_HDR, own) == 8, "entity header: own");
MDA_LAYOUT_ASSERT(offsetof(MDA_ENTITY_HDR, origin) == 16, "entity header: origin");
MDA_LAYOUT_ASSERT(sizeof(MDA_MBLOCK) == MDA_MBLOCK_HDR_SIZE, "MBlock header is 40 bytes");
MDA_LAYOUT_ASSERT(offsetof(MDA_MBLOCK, referrer) == 8, "MBlock header: referrer");
MDA_LAYOUT_ASSERT(offsetof(MDA_MBLOCK, disk) == 16, "MBlock header: disk");
MDA_LAYOUT_ASSERT(offsetof(MDA_MBLOCK, next) == 24, "MBlock header: next");
MDA_LAYOUT_ASSERT(offsetof(MDA_MBLOCK, marker) == 32, "MBlock header: marker");
MDA_LAYOUT_ASSERT(offsetof(MDA_MBLOCK, type) == 36, "MBlock header: type");
MDA_LAYOUT_ASSERT(offsetof(MDA_MBLOCK, flags) == 37, "MBlock header: flags");
MDA_LAYOUT_ASSERT(sizeof(MDA_ARRAY_HDR) == MDA_ARRAY_HDR_SIZE, "array header is 48 bytes");
MDA_LAYOUT_ASSERT(offsetof(MDA_ARRAY_HDR, ndims) == 8, "array header: ndims");
MDA_LAYOUT_ASSERT(offsetof(MDA_ARRAY_HDR, dims) == 12, "array header: dims");
MDA_LAYOUT_ASSERT(offsetof(MDA_ARRAY_HDR, elem_size) == 32, "array header: elem_size");
MDA_LAYOUT_ASSERT(offsetof(MDA_ARRAY_HDR, row_ptrs) == 40, "array header: row_ptrs");
MDA_LAYOUT_ASSERT(offsetof(MDA_ARRAY_HDR, elem_offset) == 44, "array header: elem_offset");
#undef MDA_LAYOUT_ASSERT

/* ---- End of entity memory blocks and arrays (types) ---------------------- */

/*
 * ---- Exported variables ---------------------------------------------------
 */

/* Where the module's debug dumps and checks write; mda_Initialize sets it
 * to standard output. A caller may point it at any open stream. */
MVX_API extern FILE* mda__DbgFile;

/* Registers the module's descriptor and points mda__DbgFile at standard
 * output. Returns 0. */
MVX_API int32_t mda_Initialize(uint32_t options);

/* Releases what the module holds; called by mvx_Terminate. Returns 0. */
MVX_API int32_t mda_Terminate(uint32_t options);

/*
 * ---- Entity memory blocks and arrays (MBlocks): operations ------------------
 *
 * "owner" is the data address of the body of the entity that is to own a
 * block (the head of its chain), or null for a block that belongs to no
 * entity. All operations return 0 or a status code already reported with
 * mpm__SetError at severity ERROR; common codes:
 *   MDA_NULL_MEMPTR  a required pointer argument is null;
 *   MDA_BAD_MBLOCK   a block (or the owner) has a wrong marker or type, with
 *                    the header's address; also a block handed over with an
 *                    owner whose chain does not hold it, or without an owner
 *                    while it belongs to a chain (reallocation and freeing);
 *   MDA_MALLOC_ERR   memory ran out, or the request is negative or does not
 *                    fit a 32-bit block size;
 *   MDA_REALLOC_ERR  memory ran out while reallocating.
 * Blocks are malloc'ed; they are released by these operations (mda_Free,
 * mda_FreeAll) or with the entity that owns them.
 */

/*
 * Allocates a zeroed plain block of size data bytes: header size
 * (size + 40 rounded up to a multiple of 4), marker and type set, marked
 * independent. *block receives the header's address.
 */
MVX_API int32_t mda__AllocateMBlock(uint32_t options, int32_t size, MDA_MBLOCK** block);

/*
 * Resizes a block with realloc, to size data bytes (rounded as above); the
 * bytes beyond the old size are zeroed. The header may move: *out receives
 * its new address, and links to the old address (chain, array self-address)
 * are the caller's to fix. On failure the block is unchanged.
 */
MVX_API int32_t mda__ReallocateMBlock(uint32_t options, MDA_MBLOCK* block, int32_t size,
                                      MDA_MBLOCK** out);

/*
 * Allocates a zeroed plain block of size bytes and stores its data address in
 * *out. With an owner the block goes directly after the owner's block, and
 * out (which should lie in the entity's memory, normally a field of the body)
 * is recorded as the pointer that refers to it; without one the block is
 * independent. A size of 0 gives a block with no data.
 */
MVX_API int32_t mda_Malloc(uint32_t options, void* owner, int32_t size, void** out);

/*
 * Replaces a plain block by a new one of size bytes: the first
 * min(old data bytes, size) bytes are copied and the rest zeroed; the new
 * block takes the old one's place in the chain and its flags; referrers
 * that lay in the kept bytes are moved to the same place in the new block
 * (mda__RelocatePtrs), and blocks referred to from dropped bytes are freed.
 * The old block is freed and *out receives the new data address; the pointer
 * that referred to the old block (normally *out itself) stays the recorded
 * referrer. The owner's own body may be reallocated this way (owner == old);
 * the caller then holds the new body. Without an owner the block must be
 * independent. On failure nothing changes.
 */
MVX_API int32_t mda_Realloc(uint32_t options, void* owner, void* old, int32_t size, void** out);

/* Copies a NUL-terminated text into a new plain block (mda_Malloc of its
 * length + 1) whose address is stored in *out. */
MVX_API int32_t mda_Strdup(uint32_t options, void* owner, const char* text, char** out);

/*
 * Frees a block (MDA_FREE_ARRAY: pointer is an array's data address).
 * With an owner: a block that is not after the owner's block in its chain
 * (the body itself included) is left alone and 0 returned; otherwise the
 * block is unlinked and, unless MDA_FREE_UNLINK, freed together with the
 * blocks referred to from inside it. With MDA_FREE_UNLINK the block stays
 * allocated and becomes independent, ready for mda_AddMemory.
 * Without an owner the block must be independent (else MDA_BAD_MBLOCK); it
 * is freed with the chain that follows it, if it heads one (an entity body);
 * MDA_FREE_UNLINK then does nothing.
 * A null pointer is MDA_NULL_MEMPTR.
 */
MVX_API int32_t mda_Free(uint32_t options, void* owner, void* pointer);

/* Frees every block after the body in its chain and clears the body
 * header's referrer and next. All headers are checked first: a bad one is
 * MDA_BAD_MBLOCK and nothing is freed. */
MVX_API int32_t mda_FreeAll(uint32_t options, void* body);

/*
 * Allocates a zeroed array of ndims dimensions (dims[0] .. dims[ndims-1]) of
 * elem_size-byte elements as one array block, with its row-pointer tables
 * built; *out receives the top-level table (the array header + 48), so
 * that ((T**)*out)[i][j] (two dimensions) addresses an element. Ownership as
 * for mda_Malloc.
 * Refused: ndims below 2 (the layout needs a level of row pointers; single
 * rows are plain blocks) or a 0 among the dimensions before the last:
 * MDA_ZERO_DIM; ndims above 5, a negative dimension or element size, or a
 * size that does not fit 32 bits: MDA_MALLOC_ERR. A last dimension of 0
 * gives an array without elements.
 */
MVX_API int32_t mda__MallocArray(uint32_t options, void* owner, int32_t elem_size, int32_t ndims,
                                 const int32_t* dims, void** out);

/* As mda__MallocArray, with the dimensions as ndims trailing int32_t
 * arguments (none are read when ndims is above 5). */
MVX_API int32_t mda_MallocArray(uint32_t options, void* owner, int32_t elem_size, void** out,
                                int32_t ndims, ...);

/* The same as mda_MallocArray: arrays always come zeroed. */
MVX_API int32_t mda_CallocArray(uint32_t options, void* owner, int32_t elem_size, void** out,
                                int32_t ndims, ...);

/*
 * Replaces an array by one of the new dimensions. Every element whose
 * indices exist in both shapes keeps its indices and value; new elements
 * are zero. With MDA_REALLOC_DISCARD nothing is copied. The new array takes
 * the old one's place in the chain and its flags; blocks referred to from
 * kept elements follow them, those referred to from dropped elements (all
 * of them with MDA_REALLOC_DISCARD) are freed. The old array is freed and
 * *out receives the new one.
 * A number of dimensions or an element size other than the array's own is
 * refused with MDA_ARRAY_MISMATCH (an array keeps its kind for life); the
 * new dimensions are checked as by mda__MallocArray. On failure nothing
 * changes.
 */
MVX_API int32_t mda__ReallocArray(uint32_t options, void* owner, void* old, int32_t elem_size,
                                  int32_t ndims, const int32_t* dims, void** out);

/* As mda__ReallocArray, with the dimensions as trailing int32_t arguments. */
MVX_API int32_t mda_ReallocArray(uint32_t options, void* owner, void* old, int32_t elem_size,
                                 void** out, int32_t ndims, ...);

/*
 * The usable bytes of a block: kind 1, a plain block (its size - 40); any
 * other kind, an array (its size - 40 - element offset, the element bytes
 * plus up to 3 bytes of rounding). A null pointer gives 0.
 */
MVX_API int32_t mda_GetArraySize(int32_t kind, const void* pointer, int32_t* size);

/*
 * The dimensions of a field: *count is its number of dimensions (one less
 * for an fstring, whose last dimension is its length) and dims[0 ..] (room
 * for 5) their values. Each value is its dimension expression: an operand
 * x >= 0 is x, x < 0 is count slot -x of ddf__Counters (ddf__DimValue).
 * Defined results: a division by zero is 0; an expression that names a
 * slot while ddf__Counters is null, or a slot beyond the DDF_COUNT_SLOTS
 * slots, is 0; an unknown operation is 0; arithmetic is done in 64 bits and the low 32 bits
 * kept. More than 5 dimensions in the descriptor count as 5.
 * For an UNSIZED field the first dimension comes from the allocation:
 * null array: 0; otherwise the allocated bytes (mda_GetArraySize, kind 1
 * for PTRFIXED fields, 2 otherwise) divided by the product of the other
 * dimensions (an fstring's length included) and the element size (the
 * structure size for a struct); an allocation of 0 bytes keeps the
 * expression's value, and a product that is not positive gives 0.
 */
MVX_API int32_t mda_GetFieldDims(const DDF_FIELD* field, const void* array, int32_t* dims,
                                 int32_t* count);

/*
 * Attaches an independent block (MDA_ADD_ARRAY: an array) to the entity of
 * body: stores pointer at *referrer, puts the block directly after the body
 * with referrer as the pointer that refers to it, and clears its
 * independent flag. A block that is not independent, the body itself, or a
 * block heading a chain of its own is refused with MDA_NOT_IND_MBLOCK.
 */
MVX_API int32_t mda_AddMemory(uint32_t options, void* body, void* pointer, void** referrer);

/*
 * After a plain block moved: every referrer of the chain from owner (or from
 * old when owner is null) that lies in the old block's data is moved by
 * new_data - old_data; the link that led to old leads to moved, which takes
 * over old's next and referrer. old itself is not freed.
 */
MVX_API int32_t mda__RelocatePtrs(MDA_MBLOCK* owner, void* old_data, MDA_MBLOCK* old,
                                  void* new_data, MDA_MBLOCK* moved);

/*
 * Writes the chain of body to mda__DbgFile: per block, numbered from 0,
 * "Block %ld @ 0x%p,  type %d,  size %ld", then "  <- Warning: Bad MBlock
 * header" for a wrong marker or, for an array, ",  dims " and "[%ld]" per
 * dimension; ":\n", "   next block at 0x%p\n   referenced at 0x%p", with a
 * referrer " (->0x%p)" and its value, and "  <- Warning: Incorrect
 * reference" when that is not the next block's data address; "\n\n". Then
 * "Total size of MBlocks: %ld\n\n". Addresses are printed with the C
 * library's %p after the literal "0x" (glibc: "0x0x55d0...", "0x(nil)").
 * The walk stops after a bad header, which is not counted in the total.
 * Returns MDA_DBG_BADMEMREF when a reference was wrong, else MDA_BAD_MBLOCK
 * when a header was bad, else 0; nothing is reported to the error stack. A
 * null body prints nothing and returns 0.
 */
MVX_API int32_t mda_DbgDumpMBlocks(uint32_t options, void* body);

/*
 * Checks the chain of body: a wrong marker issues MDA_BAD_MBLOCK with the
 * header's address and ends the walk; a referrer whose value is not the
 * next block's data address issues MDA_DBG_BADMEMREF with the entity's own
 * db_ptr (from the body's entity header). Messages are issued at once to
 * mda__DbgFile (mpm__IssueError, the error stack left alone). Returns the
 * first finding's code or 0; a null body is MDA_NULL_MEMPTR.
 */
MVX_API int32_t mda__DbgCheckEntityMBlocks(uint32_t options, void* body);

/*
 * Allocates the body of a new entity of type tf in dictionary dict: a
 * zeroed, independent plain block of the type's body size (ent_sizes; at
 * least the 24 bytes of the entity header), with the header's tf and tfi
 * set and its db_ptrs null. *body receives its data address; it is freed
 * with mda_Free(0, NULL, body), which also frees the blocks chained to it.
 * Returns 0, MDA_UNKNOWN_TF (no message) when the dictionary lacks tf,
 * MDA_NULL_MEMPTR, or MDA_MALLOC_ERR.
 */
MVX_API int32_t mda__MallocEntity(uint32_t options, const DDF_DICT* dict, int32_t tf, void** body);

/* ---- End of entity memory blocks and arrays (operations) ----------------- */

MVX_END_DECLS

#endif /* MVX_MDA_H */
