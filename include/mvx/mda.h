/*
 * MDA: entity store (module 9).
 */
#ifndef MVX_MDA_H
#define MVX_MDA_H

#include <stdint.h>
#include <stdio.h>

#include "mvx/ddf.h"
#include "mvx/dof.h"
#include "mvx/olm.h"
#include "mvx/otm.h"
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
 * memory of some other origin may be read before its start. A block of the
 * wrong kind (a plain block handed over as an array, or an array as a plain
 * block) is MDA_BAD_MBLOCK too, found without reading outside the block:
 * the plain header's position, which lies inside both kinds, is read first.
 *
 * Blocks that become unreachable: when mda_Free frees a block, or
 * mda_Realloc / mda_ReallocArray drop part of a block, every block of the
 * owner's chain whose referring pointer lay in the released bytes is freed as
 * well (and, in turn, the blocks referred to from those). Nothing could reach
 * them any more, and their referrers would point into freed memory. A block
 * that is only unlinked (mda_Free with MDA_FREE_UNLINK) takes those blocks
 * with it instead, as the chain it then heads.
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
 *   flags     MDA_MBLOCK_INDEPENDENT; the other bits are the library's own
 *             bookkeeping (test the bit, do not compare the byte)
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

/*
 * Starts the module: registers its descriptor, frees every model slot (no
 * model current), points mda__DbgFile at standard output, sets
 * mda__EntDirBlkSizeMax to 0 and creates mda__AppDataList (16-byte records,
 * 10 per block). options: ignored. Returns 0, or the object list's status
 * when the registry list cannot be created.
 */
MVX_API int32_t mda_Initialize(uint32_t options);

/*
 * Stops the module: frees every allocated model in number order (as
 * mda_FreeModel with argument 0), then deletes mda__AppDataList. A model
 * whose release reports a failure is still freed, but the models after it
 * are left alone and that status is returned. options: ignored.
 * Returns 0 or the first failure.
 */
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
 * allocated and becomes independent, ready for mda_AddMemory, and the blocks
 * referred to from inside it (and, in turn, from those) leave the owner's
 * chain with it, in their chain order, as the chain it now heads: the owner
 * keeps no referrer in memory it no longer owns. Freeing the block without
 * an owner frees them too; mda_AddMemory attaches them with it.
 * Without an owner the block must be independent (else MDA_BAD_MBLOCK); it
 * is freed with the chain that follows it, if it heads one (an entity body);
 * MDA_FREE_UNLINK then does nothing.
 * A null pointer is MDA_NULL_MEMPTR.
 * A freed plain block of up to 512 bytes (header included) taken out of an
 * owner's chain is kept for a later block of exactly its size, up to 16 per
 * size, instead of going back to malloc; mvx_Terminate frees what is kept.
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
 * are zero. With MDA_REALLOC_DISCARD nothing is copied. With an owner the
 * old array is unlinked and the new one, with the old one's flags, goes
 * directly after the owner's block with out as the pointer that refers to
 * it (as mda__MallocArray places a new array); the pointer that referred to
 * the old array, when it is not *out itself, is left holding the freed
 * address. Without an owner the old array must be independent and the new
 * one takes its place (at the head of any chain it heads). Blocks referred
 * to from kept elements follow them, those referred to from dropped
 * elements (all of them with MDA_REALLOC_DISCARD) are freed. The old array
 * is freed and *out receives the new one.
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
 * independent flag. A block that heads a chain of its own (one unlinked with
 * the blocks it refers to by mda_Free with MDA_FREE_UNLINK, or a body) is
 * attached with that whole chain, which goes between the body and its old
 * successor. A block that is not independent, the body itself, or a block
 * whose chain holds the body is refused with MDA_NOT_IND_MBLOCK; a bad
 * header in its chain with MDA_BAD_MBLOCK.
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

/*
 * ===========================================================================
 * Models and the entity directory
 * ===========================================================================
 *
 * A model is one entity database on one loaded dictionary. The library keeps
 * 65 model records in mda__Model, indexed by model number; slot 0 is never
 * used, so models are numbered 1 to 64. Each model maps entity numbers to
 * 24-byte directory entries kept in blocks of 2048.
 *
 * db_ptr: bits 63..57 the model number, bits 56..0 the entity number; entity
 * number 0 is the null reference. The model field is read as an UNSIGNED
 * 7-bit value (MDA_PTR_MODEL), so the 64th model - whose db_ptrs have the
 * top bit set and are negative as int64_t - works like every other model.
 * Model fields 65 to 127 name no model and such db_ptrs are never valid.
 */

/* Builds a db_ptr; reads its model and entity number. */
#define MDA_MAKE_PTR(model, entity)                                                                \
    ((MDA_PTR)((((uint64_t)(model)&127u) << 57) | ((uint64_t)(entity)&MDA_ENTITY_MASK)))
#define MDA_PTR_MODEL(ptr) ((int32_t)((uint64_t)(ptr) >> 57))
#define MDA_PTR_ENTITY(ptr) ((int64_t)((uint64_t)(ptr)&MDA_ENTITY_MASK))
#define MDA_ENTITY_MASK ((uint64_t)0x01FFFFFFFFFFFFFFull)

/* Model numbers run 1 to MDA_MAX_MODELS; mda__Model has one more slot. */
#define MDA_MAX_MODELS 64
/* Default tolerance of every model. */
#define MDA_DEFAULT_TOL 2.220446049250313e-16
/* Returned when a TF is not in the model's dictionary; carries no message. */
#define MDA_UNKNOWN_TF 0x9FFFB

/* Options of mda_AllocateModel. */
#define MDA_RESTORE_CURRENT 0x1  /* make the previously current model current again */
#define MDA_MEMORY_ONLY 0x2      /* no cache, no paged file */
#define MDA_NO_DELAYED_WRITE 0x4 /* write entities as soon as they are unlocked */

/* Options of entity creation (mda_AllocateEntity2, mda_MallocEntity2,
 * mda_CreateEntity). */
#define MDA_ENTITY_UNLOCKED 0x1 /* mda_AllocateEntity2: leave it unlocked */
#define MDA_ENTITY_LOCKED 0x1   /* mda_CreateEntity: leave it locked */
#define MDA_SET_BACKPTRS 0x2    /* mda_CreateEntity: record back-pointers now */
#define MDA_FILL_DEFAULTS 0x4   /* fill the body with dictionary defaults */
#define MDA_USE_DBPTR 0x80000   /* use the caller's reserved db_ptr */

/* Flag of mda_IsValidDbptr2: a reserved entity counts as valid. */
#define MDA_ACCEPT_RESERVED 0x1

/* Status word of a directory entry. */
#define MDA_CACHE_SLOT_MASK 0x000000FF /* the entity's cache slot */
#define MDA_RWLOCK 0x0200
#define MDA_MODIFIED 0x0400
#define MDA_DELETED 0x0800
#define MDA_RESERVED 0x1000
#define MDA_INVALID 0x2000
#define MDA_NEW 0x4000
#define MDA_NEEDFLUSH 0x8000
#define MDA_LOCK_SHIFT 16
#define MDA_LOCK_MASK 0x00FF0000 /* the lock count */
#define MDA_LOCK_ONE 0x00010000  /* one lock */

/* Directory blocks: entity n lives in block n >> 11 at index n & 0x7FF. */
#define MDA_DIR_BLOCK_SHIFT 11
#define MDA_DIR_BLOCK_ENTRIES 2048
/* The plain directory table starts with this many block slots and never
 * grows beyond MDA_DIR_TABLE_MAX. */
#define MDA_DIR_TABLE_INITIAL 1024
#define MDA_DIR_TABLE_MAX ((int64_t)0x400000000000)
/* Slots of a model's cache (0 for a memory-only model). */
#define MDA_CACHE_SIZE 32
/* An empty cache order list. */
#define MDA_CACHE_NONE 0xFFFF

/* A directory entry (24 bytes). */
typedef struct MDA_DIR_ENTRY {
    void* mloc;   /* the body while it is in memory, else null */
    int64_t dloc; /* first DBlock in the paged file; -1 never written; 0 in a
                     memory-only model; next free number while DELETED */
    int32_t tf;   /* the entity's TF; MVX_NULL_TF while reserved */
    int32_t status;
} MDA_DIR_ENTRY;

/* A block of the bounded directory (49176 bytes): kept in the model's block
 * tree (ordered by number) and in its recency list, or written whole to the
 * overflow file at number * sizeof(MDA_DIR_BLOCK). */
typedef struct MDA_DIR_BLOCK {
    int64_t number;
    struct MDA_DIR_BLOCK* prev; /* more recently used */
    struct MDA_DIR_BLOCK* next; /* less recently used */
    MDA_DIR_ENTRY entries[MDA_DIR_BLOCK_ENTRIES];
} MDA_DIR_BLOCK;

/* A cache slot (16 bytes); prev and next are slot numbers, -1 for none. */
typedef struct MDA_CACHE_SLOT {
    MDA_PTR db_ptr; /* 0 when empty */
    int16_t prev;
    int16_t next;
    int32_t reserved;
} MDA_CACHE_SLOT;

/* A model callback of the model definition. Called with two integers whose
 * meaning depends on the callback (see MDA_MODEL_DEF); results are ignored
 * except the pre-restore callback's. */
typedef int32_t (*MDA_MODEL_CALLBACK)(int32_t first, int32_t second);

/* A model definition, filled by mda_GetModelDefaults and read by
 * mda_AllocateModel. */
typedef struct MDA_MODEL_DEF {
    char name[128];                  /* model name; default empty */
    DDF_DICT* ddf;                   /* the dictionary; required; default null */
    uint8_t reserved[128];           /* not read by the library */
    uint8_t backptrs;                /* keep parent lists; default 0 */
    uint8_t stats;                   /* paged-file statistics at close; default 0 */
    int32_t dof_buffers;             /* paged-file page buffers; default 16 */
    int32_t dof_page_size;           /* paged-file page size; default 4096 */
    void* user_data;                 /* handed back by mda_GetModelInfo */
    MDA_MODEL_CALLBACK stored1;      /* only stored */
    MDA_MODEL_CALLBACK stored2;      /* only stored */
    MDA_MODEL_CALLBACK allocated;    /* (options, model) after allocation */
    MDA_MODEL_CALLBACK pre_restore;  /* (0, model) before a restore reads */
    MDA_MODEL_CALLBACK post_restore; /* (0, model) after a restore */
    MDA_MODEL_CALLBACK freed;        /* (argument, model) first in mda_FreeModel */
    MDA_MODEL_CALLBACK make_current; /* (model, argument) by mda_SetCurModel */
    MDA_MODEL_CALLBACK stored3;      /* only stored */
} MDA_MODEL_DEF;

/* A model record. Fields are read-only for callers. */
typedef struct MDA_MODEL {
    int32_t in_use;   /* nonzero while allocated */
    char name[128];   /* NUL-terminated */
    uint8_t backptrs; /* keeps parent lists */
    uint8_t stats;    /* paged-file statistics at close */
    int32_t dof_buffers;
    int32_t dof_page_size;
    void* parent_area; /* application-data store of the parent lists, or null */
    DDF_DICT* ddf;
    void* user_data;
    MDA_DIR_ENTRY** dir_table;       /* plain directory: pointers to blocks */
    int64_t dir_capacity;            /* highest entity number the blocks cover */
    int64_t next_entity;             /* numbers below it have been handed out */
    int64_t dir_table_size;          /* plain: slots of dir_table; bounded: highest
                                        block number created */
    MDA_CACHE_SLOT* cache;           /* cache_size slots, or null */
    int32_t cache_size;              /* 32, or 0 for a memory-only model */
    uint16_t cache_head;             /* first slot of the order list, or 0xFFFF */
    uint16_t cache_tail;             /* last slot of the order list, or 0xFFFF */
    int64_t free_entities;           /* head of the freed numbers, 0 when none */
    DOF_FILE* dof;                   /* the paged file, or null */
    void* entity_list;               /* entities by type, or null */
    int64_t entity_count;            /* entities created */
    uint32_t options;                /* as given to mda_AllocateModel */
    double default_tol;              /* MDA_DEFAULT_TOL */
    OTM_TREE* tolerances;            /* MDA_TOLERANCE objects by name */
    MDA_MODEL_CALLBACK callbacks[8]; /* the definition's, in its order */
    void* callback_lists[4];         /* registered entity callbacks by kind */
    OTM_TREE* no_backptr_types;      /* TFs that keep no back-pointers, or null */
    OTM_TREE* dir_blocks;            /* bounded directory: blocks in memory */
    MDA_DIR_BLOCK* dir_mru;          /* bounded: most recently used block */
    MDA_DIR_BLOCK* dir_lru;          /* bounded: least recently used block */
    int32_t overflow_fd;             /* bounded: overflow file, -1 if not open */
    int32_t target_release;          /* release written by saved models; 0 */
    int64_t reserved;                /* not used */
} MDA_MODEL;

/* A named tolerance (40 bytes); names longer than 31 bytes are cut. */
#define MDA_TOL_NAME_MAX 31
typedef struct MDA_TOLERANCE {
    char name[MDA_TOL_NAME_MAX + 1];
    double value;
} MDA_TOLERANCE;

/* Model information, filled by mda_GetModelInfo. */
typedef struct MDA_MODEL_INFO {
    char name[128];      /* model name */
    DDF_DICT* ddf;       /* its dictionary */
    char ddf_name[128];  /* the dictionary's name */
    uint8_t backptrs;    /* keeps parent lists */
    int32_t ddf_version; /* dictionary version * 100 + revision */
    void* user_data;     /* from the definition */
    int64_t reserved[4]; /* not filled */
    int32_t entity_count;
    void* entity_list;
} MDA_MODEL_INFO;

/* The model table: slot 0 unused, models 1 to 64. */
MVX_API extern MDA_MODEL mda__Model[MDA_MAX_MODELS + 1];
/* The current model and its number; null and 0 when none is current. */
MVX_API extern MDA_MODEL* mda__CurModel;
MVX_API extern int32_t mda__CurModelNum;
/*
 * 0 (the value mda_Initialize sets): the plain directory, every block in
 * memory. N > 0: the bounded directory, at most N blocks in memory and the
 * others in an overflow file. Read when a model is allocated and at every
 * directory access, so set it after mda_Initialize, before the first model
 * is allocated, and leave it alone while models exist.
 */
MVX_API extern int32_t mda__EntDirBlkSizeMax;
/* The registry of application-data stores: {store, model number} records. */
MVX_API extern OLM_LIST* mda__AppDataList;

/*
 * Fills a model definition with its defaults: everything zero (empty name,
 * no dictionary, no callbacks), 16 page buffers of 4096 bytes.
 *   options  ignored
 *   def      the definition; null gives MDA_NULL_MEMPTR
 * Returns 0.
 */
MVX_API int32_t mda_GetModelDefaults(uint32_t options, MDA_MODEL_DEF* def);

/*
 * Allocates a model from a definition (lowest free slot), makes it current
 * and calls its model-allocated callback with (options, model).
 *   options  MDA_RESTORE_CURRENT: afterwards make the previously current
 *            model (if any) current again; MDA_MEMORY_ONLY: no cache and no
 *            paged file; MDA_NO_DELAYED_WRITE: stored
 *   def      the definition; null or without dictionary: MDA_NO_DDF
 *   model    receives the number; null gives MDA_NULL_MEMPTR
 * Entity number 0 is reserved. Unless memory-only, the model gets a 32-slot
 * cache and a temporary paged file (free lists; statistics with the flag).
 * Returns 0; MDA_NO_DDF; MDA_NO_MORE_MODEL when 64 models exist; the
 * failure of an allocation, the paged file or the tolerance tree. After a
 * failure the slot is free, nothing is left allocated or open and the
 * current model is the one before the call.
 */
MVX_API int32_t mda_AllocateModel(uint32_t options, const MDA_MODEL_DEF* def, int32_t* model);

/*
 * Frees a model: calls its model-freed callback with (argument, model),
 * frees every body still in memory, the cache, the directory (and the
 * overflow file), the tolerance tree, closes the paged file, clears the
 * record and makes no model current when it was current; the parent lists
 * and the no-back-pointer type set go with it. Nothing is
 * written: the evicted blocks of a bounded directory are read into a
 * scratch copy, never brought back by evicting others.
 * Returns 0, MDA_INVALID_MODEL, or the first failure: a block of a bounded
 * directory that cannot be read (DOF_READ_ERR; the bodies its unread
 * entries named are lost), or the paged file's DOF_CLOSE_ERR (its handle is
 * released and its temporary file deleted all the same). Everything else
 * the model owns is freed whatever fails.
 */
MVX_API int32_t mda_FreeModel(int32_t argument, int32_t model);

/*
 * Makes an entity body that no entry refers to yet: header TF and TFI, own
 * and origin db_ptr both the model's number with entity number 0.
 *   options  MDA_FILL_DEFAULTS: the dictionary defaults (mda_DefaultEntity)
 * Returns 0, MDA_INVALID_MODEL, MDA_NULL_MEMPTR (null body), MDA_UNKNOWN_TF
 * or MDA_MALLOC_ERR; *body is null after a failure.
 */
MVX_API int32_t mda_MallocEntity2(uint32_t options, int32_t model, int32_t tf, void** body);

/*
 * Makes a new entity of a TF with a fresh body, status MDA_NEW.
 *   options  MDA_ENTITY_UNLOCKED: lock count 0 and MDA_NEEDFLUSH (written
 *            at once with MDA_NO_DELAYED_WRITE); otherwise one lock and
 *            MDA_RWLOCK, MDA_MODIFIED, MDA_NEEDFLUSH. MDA_FILL_DEFAULTS: the
 *            dictionary defaults, filled before a number is taken (their
 *            failure is returned and uses up nothing).
 *            MDA_USE_DBPTR: *db_ptr must be a reserved db_ptr of the model,
 *            else MDA_INVALID_PTR, or MDA_PTR_ALREADY_CREATED when its entry
 *            is not exactly MDA_RESERVED.
 *   body     receives the body (may be null)
 *   db_ptr   receives the new db_ptr (in: the reserved one)
 * Returns 0 or the failure; after one no number is used up and nothing is
 * left allocated.
 */
MVX_API int32_t mda_AllocateEntity2(uint32_t options, int32_t model, int32_t tf, void** body,
                                    MDA_PTR* db_ptr);

/*
 * Registers a body made by mda_MallocEntity2 as a new entity of the model
 * named by its own db_ptr. The origin db_ptr becomes the new db_ptr when its
 * entity number is 0; the own db_ptr always does. Any other body is refused
 * and stays the caller's: one that is not a plain MBlock with
 * MDA_BAD_MBLOCK, one whose own db_ptr names an entity (already registered,
 * by this call or mda_AllocateEntity2) with MDA_PTR_ALREADY_CREATED and that
 * db_ptr.
 *   options  MDA_ENTITY_LOCKED: one lock and MDA_RWLOCK, MDA_MODIFIED,
 *            MDA_NEEDFLUSH; otherwise unlocked with MDA_NEEDFLUSH (written at
 *            once with MDA_NO_DELAYED_WRITE). MDA_SET_BACKPTRS: records the
 *            entity as parent of everything it refers to (mda__SetBackPtrs);
 *            a failure there is returned with the entity created.
 *            MDA_USE_DBPTR: *db_ptr is a reserved db_ptr of that model
 *            (MDA_INVALID_PTR otherwise); an entry that is not exactly
 *            MDA_RESERVED gives MDA_PTR_ALREADY_CREATED.
 * A reserved entry's parent record is not touched: a reserved number has
 * never been an entity, so it has nothing to drop.
 * Returns 0, MDA_NULL_MEMPTR (null body or db_ptr), MDA_BAD_MBLOCK,
 * MDA_PTR_ALREADY_CREATED, MDA_INVALID_MODEL or the failure; the body stays
 * the caller's after a failure.
 */
MVX_API int32_t mda_CreateEntity(uint32_t options, void* body, MDA_PTR* db_ptr);

/*
 * Changes the type of an entity: stores the TF and its TFI in the body; when
 * the body's own db_ptr names an entity, also its entry's TF, moves it in
 * the entity list and marks it modified.
 * Returns 0, MDA_NULL_MEMPTR, MDA_INVALID_MODEL, MDA_INVALID_PTR,
 * MDA_NOT_RWLOCKED (the entity must be locked), or MDA_UNKNOWN_TF (reported)
 * for a TF the dictionary lacks; nothing is changed after a failure.
 */
MVX_API int32_t mda_SetTF(void* body, int32_t tf);

/*
 * Makes a model current: mda__CurModel and mda__CurModelNum name it, the old
 * ddf__Current is saved in ddf__TempDDF, ddf__Current becomes the model's
 * dictionary and ddf__SavedTF the null TF; then the model's make-current
 * callback is called with (model, argument).
 *   model     1 to 64, allocated; 0 makes no model current, leaving
 *             ddf__Current and ddf__TempDDF as they are
 *   argument  handed to the make-current callback
 * The model already current: nothing happens (no callback).
 * Returns 0 or MDA_INVALID_MODEL (nothing changed).
 */
MVX_API int32_t mda_SetCurModel(int32_t model, int32_t argument);

/* Returns the number of the first allocated model (from 1 up) whose name
 * equals name byte for byte, or 0 (also for a null name). */
MVX_API int32_t mda_GetModelNum(const char* name);

/*
 * Finds the first allocated model (from 1 up) built on a dictionary.
 *   options  ignored
 *   ddf      the dictionary pointer
 *   model    receives the number, or 0 when none; may be null
 * Returns 0 always.
 */
MVX_API int32_t mda_FindModelByDDF(uint32_t options, const DDF_DICT* ddf, int32_t* model);

/*
 * Describes a model: its name, dictionary, the dictionary's name (both names
 * up to 127 bytes, NUL-terminated), back-pointer flag, dictionary version *
 * 100 + revision, user data, entity count (capped at INT32_MAX) and entity
 * list. The reserved fields of the record are left as they were.
 * Returns 0, MDA_NULL_MEMPTR for a null info, or MDA_INVALID_MODEL at
 * severity WARNING (stacked, not printed) for a model that is not allocated.
 */
MVX_API int32_t mda_GetModelInfo(int32_t model, MDA_MODEL_INFO* info);

/*
 * Returns the model's tolerance named name, or its default tolerance
 * (2.220446049250313e-16) when the name was never set. Only the first 31
 * bytes of a name count. A model that is not allocated reports
 * MDA_INVALID_MODEL, a null name MDA_NULL_MEMPTR; both return the default.
 */
MVX_API double mda_GetTol2(int32_t model, const char* name);

/*
 * Sets the model's tolerance named name (first 31 bytes) to value, adding
 * the name or replacing its value.
 * Returns 0, MDA_INVALID_MODEL, MDA_NULL_MEMPTR or the tree's failure.
 */
MVX_API int32_t mda_SetTol2(int32_t model, const char* name, double value);

/*
 * Writes the model's named tolerances to mda__DbgFile in name order as
 * "%s = %g\n" each, then "\n\n". Model 0 writes nothing.
 * options: ignored. Returns 0, or MDA_INVALID_MODEL (nothing written).
 */
MVX_API int32_t mda_DbgDumpTols(uint32_t options, int32_t model);

/*
 * Returns the directory entry of an entity number of a model, or null after
 * reporting a failure: MDA_INVALID_MODEL; MDA_INVALID_PTR for a number that
 * was never handed out (negative or not below the next number); in the
 * bounded directory MDA_MALLOC_ERR (a block, or the overflow file that
 * cannot be opened: FATAL), DOF_SEEK_ERR (with an empty file name),
 * DOF_READ_ERR or DOF_WRITE_ERR (file name "DirEntTmp") or the block tree's
 * failure. The entry belongs to the model; in the bounded directory it stays
 * in place only until the next directory access of that model.
 *
 * The overflow file is a temporary file (ugn_TempFile) opened read-write,
 * created exclusively with mode 0600 and removed from the directory at
 * once, so that nothing is left behind. A block that lies past the end of
 * the file was skipped over and never written, and reads as zeros; any
 * other short read is DOF_READ_ERR.
 */
MVX_API MDA_DIR_ENTRY* mda__GetEntDir(int32_t model, int64_t entity);

/*
 * Hands out an entity number of a model: the most recently freed one, else
 * the next new one (growing the directory by a block of 2048 entries when
 * needed). The entry is left as it was: callers fill it.
 *   model   1 to 64, allocated
 *   db_ptr  receives the new db_ptr; unchanged after a failure
 * Returns 0, MDA_INVALID_MODEL, MDA_NULL_MEMPTR (null db_ptr),
 * MDA_NO_MORE_PTR, MDA_REALLOC_ERR (table), MDA_MALLOC_ERR (block) or a
 * failure of the bounded directory. After a failure the model hands out the
 * same number next time.
 */
MVX_API int32_t mda__AllocatePtr(int32_t model, MDA_PTR* db_ptr);

/*
 * Reserves an entity number: its entry gets no body, the disk location 0 in
 * a memory-only model and -1 otherwise, the null TF and the status
 * MDA_RESERVED only. options: ignored.
 * Returns 0 or a failure of mda__AllocatePtr or mda__GetEntDir (the number
 * is then given back).
 */
MVX_API int32_t mda_ReserveEntity2(uint32_t options, int32_t model, MDA_PTR* db_ptr);

/* Frees an entity body made by mda__MallocEntity (or mda_MallocEntity2)
 * together with every memory block chained to it; the directory entry is
 * not touched. options: ignored.
 * Returns 0, MDA_NULL_MEMPTR for a null body, or MDA_BAD_MBLOCK when body is
 * not the data of an independent block (the body of no other entity). */
MVX_API int32_t mda_FreeEntity(uint32_t options, void* body);

/* Returns 1 when the db_ptr's entry has MDA_DELETED, else 0 (also for a
 * db_ptr of no allocated model or a number never handed out). */
MVX_API int32_t mda_IsDeleted(MDA_PTR db_ptr);

/*
 * Returns 1 when the db_ptr is valid, else 0: not null, model 1 to 64 and
 * allocated, entity number neither 0 nor beyond those handed out, and its
 * entry neither MDA_DELETED nor (unless flags has MDA_ACCEPT_RESERVED)
 * MDA_RESERVED.
 */
MVX_API int32_t mda_IsValidDbptr2(uint32_t flags, MDA_PTR db_ptr);

/*
 * Marks an entity modified (MDA_MODIFIED and MDA_NEEDFLUSH). options:
 * ignored. Returns 0, MDA_INVALID_PTR, or MDA_NOT_RWLOCKED when the entity
 * is not locked.
 */
MVX_API int32_t mda_MarkEntityModified(uint32_t options, MDA_PTR db_ptr);

/*
 * Reads an entity's type and form: type = TF >> 16, form = the low 16 bits
 * sign-extended. Either output may be null.
 * Returns 0 or MDA_INVALID_PTR (reserved entities too; outputs unchanged).
 */
MVX_API int32_t mda_ReadTypeForm(MDA_PTR db_ptr, int32_t* type, int32_t* form);

/*
 * ===========================================================================
 * Locking, the entity cache and swapping
 * ===========================================================================
 *
 * An entity's body is reached only through a lock: mda_LockEntity hands out
 * its address and it stays there until the last mda_UnlockEntity. Unlocked
 * bodies wait in the model's cache of MDA_CACHE_SIZE slots; the least
 * recently unlocked one leaves it when another entity needs the slot, and
 * is then written to the model's paged file as a chain of DBlocks when it
 * changed (MDA_NEEDFLUSH), or dropped when the file already holds it. The
 * next lock reads the chain back and rebuilds the body and its memory
 * blocks at new addresses. A memory-only model has no cache: every last
 * unlock moves the body (when it changed) to the entity's stored copy, kept
 * in memory, and every lock makes a fresh copy of that.
 *
 * Nothing is lost when the paged file fails: a body whose write fails stays
 * in memory, unlocked and marked modified, and the failure is returned;
 * other entities are not touched.
 */

/* Options of mda_UnlockEntity. */
#define MDA_UNLOCK_MODIFIED 0x1 /* the caller changed the entity */
#define MDA_INVALIDATE 0x2      /* drop the body at the last unlock (models with
                                   MDA_NO_DELAYED_WRITE only) */
#define MDA_UNLOCK_FREE 0x4     /* release the entity and its db_ptr at the last unlock */
#define MDA_UNLOCK_ALL 0x8      /* release every lock at once */
/* Option of mda__SwapToDisk: keep the body in memory. */
#define MDA_SWAP_KEEP 0x1
/* Most locks an entity can hold (the lock count has 8 bits). */
#define MDA_MAX_LOCKS 255

/*
 * Locks an entity and hands out its body, reading it back from the paged
 * file (or copying the stored copy of a memory-only model) when it is not
 * in memory. A body that waits in the cache leaves it. Sets MDA_RWLOCK and
 * adds one to the lock count.
 *   options  ignored
 *   db_ptr   a live entity (not deleted, not reserved)
 *   body     receives the body, owned by the model and valid until the last
 *            unlock; null after a failure
 * Returns 0; MDA_NULL_MEMPTR (null body); MDA_INVALID_PTR; MDA_TOO_MANY_LOCKS
 * when the entity holds MDA_MAX_LOCKS locks already (nothing changes);
 * MDA_MALLOC_ERR or a paged-file failure while reading (the entity stays on
 * disk, nothing is left allocated); MDA_CORRUPTED_ENT when the stored chain
 * does not check (the entity is then deleted).
 */
MVX_API int32_t mda_LockEntity(uint32_t options, MDA_PTR db_ptr, void** body);

/*
 * Releases a lock. MDA_UNLOCK_MODIFIED sets MDA_MODIFIED and MDA_NEEDFLUSH;
 * MDA_INVALIDATE sets MDA_INVALID. When MDA_NEW or MDA_MODIFIED is set, the
 * model's entity-created callbacks (code 3, for a new entity, whose MDA_NEW
 * is cleared) or entity-modified callbacks (code 1) are called. At the last
 * lock (MDA_UNLOCK_ALL: at once) MDA_RWLOCK and MDA_MODIFIED are cleared and:
 *   - MDA_UNLOCK_FREE: the entity and its db_ptr are released;
 *   - MDA_INVALID: the body is dropped and the copy on disk (or the stored
 *     copy) stays as it was; an entity that has no such copy yet keeps its
 *     body and goes on as below, so that invalidation never loses it;
 *   - otherwise, with MDA_NO_DELAYED_WRITE, a changed body is written now
 *     and kept; then the body takes the cache's head slot (whose entity is
 *     written or dropped first) and becomes the most recent. A memory-only
 *     model moves a changed body to its stored copy and frees an unchanged
 *     one.
 * Checks come first and change nothing when they fail.
 * Returns 0; MDA_INVALID_PTR; MDA_NOLONGER_SUPPORTED (MDA_INVALIDATE in a
 * model without MDA_NO_DELAYED_WRITE); MDA_ENTITY_NOT_LOCKED at severity
 * WARNING; a failure to write this entity or the one that leaves the cache:
 * the entity is unlocked all the same and stays in memory, outside the
 * cache, with MDA_NEEDFLUSH, and the other one keeps its slot.
 */
MVX_API int32_t mda_UnlockEntity(uint32_t options, MDA_PTR db_ptr);

/*
 * Empties a cache slot: its entity is written when it has MDA_NEEDFLUSH (or
 * no copy on disk yet), else its body freed, and its memory location
 * cleared. The emptied slot moves to the head of the order list, the first
 * to be reused. A slot out of
 * range, an empty slot or a model without cache: nothing happens.
 * Returns 0; MDA_INVALID_MODEL; the write's failure (the slot and its
 * entity are then left as they were).
 */
MVX_API int32_t mda__FlushCache(int32_t model, int32_t slot);

/*
 * Writes an entity's body with its memory blocks: to the paged file as a
 * chain of DBlocks in one file block (reused when large enough), or, in a
 * memory-only model, as its stored copy (the body itself, or a copy of it
 * with MDA_SWAP_KEEP). Clears MDA_MODIFIED and MDA_NEEDFLUSH.
 *   options  MDA_SWAP_KEEP: keep the body; otherwise its blocks are freed
 *            (or become the stored copy) and the memory location cleared.
 *            The caller must not hold the body then.
 * Returns 0; MDA_INVALID_PTR; MDA_NULL_MEMPTR when the body is not in
 * memory; MDA_CORRUPTED_ENT when a block's header or a referring pointer
 * lies outside the chain (the entity is deleted); MDA_MALLOC_ERR or a
 * paged-file failure: the body stays in memory with MDA_MODIFIED and
 * MDA_NEEDFLUSH, and its older copy (the file block or stored copy it was
 * written to before) is given back, so it counts as never written.
 */
MVX_API int32_t mda__SwapToDisk(uint32_t options, MDA_PTR db_ptr);

/*
 * Reads an entity back: the chain is rebuilt at new addresses with its
 * pointers and array tables moved, and becomes the entity's memory
 * location. A body already in memory is returned as it is. options:
 * ignored. Returns the body, or null after reporting MDA_INVALID_PTR,
 * MDA_MALLOC_ERR or a paged-file failure (the entity stays on disk; what
 * was read is freed), or MDA_CORRUPTED_ENT when the chain does not check
 * or the entity has no copy to read (it is then deleted).
 */
MVX_API void* mda__SwapFromDisk(uint32_t options, MDA_PTR db_ptr);

/*
 * Debug output to mda__DbgFile. A model number or db_ptr of 0 prints
 * nothing and returns 0. options: ignored.
 *
 * mda_DbgDumpDirEntry: one entry (any number handed out, deleted and
 * reserved ones too):
 *   "#%d:%ld\n   TF:          %d:%d\n   Mloc:        0x%p\n"
 *   "   Dloc:        %s\n   Status:      %s\n   Cache Entry: %ld\n"
 *   "   Lock Count:  %ld\n\n"
 * Dloc is "%#lx" of the disk location, "Not written" for -1, or in a
 * memory-only model "Memory:0x%p" of the stored copy. The status is
 * "DELETED", or the concatenation of "RWLOCK  ", "MODIFIED  ",
 * "RESERVED  ", "INVALID  ", "NEW  " and "NEEDFLUSH  " for the bits set.
 * Returns 0, MDA_INVALID_MODEL or MDA_INVALID_PTR.
 *
 * mda_DbgDumpCache: per occupied slot in index order "Cache Entry %d,
 * db_ptr #%d:%ld\n" and the entry's dump; then "\n\nCache size = %d
 * entries, %d in use\n". Returns 0 or MDA_INVALID_MODEL.
 *
 * mda_DbgDumpLocks: the dump of every live entity with MDA_RWLOCK, in
 * ascending entity number. Returns 0 or MDA_INVALID_MODEL.
 */
MVX_API int32_t mda_DbgDumpDirEntry(uint32_t options, MDA_PTR db_ptr);
MVX_API int32_t mda_DbgDumpCache(uint32_t options, int32_t model);
MVX_API int32_t mda_DbgDumpLocks(uint32_t options, int32_t model);

/* Returns the number of live entities of a model that hold MDA_RWLOCK; 0
 * for model 0, and for a model that is not allocated (MDA_INVALID_MODEL is
 * then reported). options: ignored. */
MVX_API int32_t mda_DbgGetLockedCount(uint32_t options, int32_t model);

/*
 * Checks the DBlock chain of an entity as the paged file holds it, issuing
 * at once to mda__DbgFile (mpm__IssueError, the stack left alone): a block
 * above 100000 bytes, MDA_DBG_BIGDBLOCK (WARNING, with its size); a holder
 * position that lies outside the chain, or a header that is not a DBlock
 * header, MDA_DBG_BADBLOCKNUM (with the block's position; the walk stops at
 * a bad header); a referring pointer whose stored position is negative or
 * not below the number of blocks, MDA_DBG_BADPTRNUM. Nothing is checked in
 * a memory-only model or for an entity never written. options: ignored.
 * Returns the first finding's code or 0; MDA_INVALID_PTR (reported) or a
 * paged-file failure.
 */
MVX_API int32_t mda__DbgCheckEntityDBlocks(uint32_t options, MDA_PTR db_ptr);

/*
 * ---- Application data and entity callbacks ---------------------------------
 *
 * An application-data store keeps one fixed-size record per entity number of
 * one model, in blocks of MDA_APPDATA_RECORDS records that are created when
 * first written: the record of entity number n lies in block n >> 11 at byte
 * (n & 0x7FF) * record_size. Every live store is registered in
 * mda__AppDataList as {store, model number}, so that an entity's records can
 * be cleared in all stores of its model. Freeing a model leaves the stores
 * that callers made on it alone.
 */
#define MDA_APPDATA_RECORDS 2048
#define MDA_APPDATA_TABLE 1024
/* Store options: new records zeroed; first 8 bytes of new records zeroed. */
#define MDA_APPDATA_ZERO 0x10000u
#define MDA_APPDATA_NULLPTR 0x20000u
/* Block numbers must stay below this (entity numbers below 2^57). */
#define MDA_APPDATA_BLOCK_LIMIT 0x400000000000ll

typedef struct MDA_APPDATA {
    int64_t highest_block;     /* highest block number created; -1 for none */
    int32_t table_size;        /* slots in blocks; starts at MDA_APPDATA_TABLE */
    int32_t block_bytes;       /* MDA_APPDATA_RECORDS * record_size */
    int32_t records_per_block; /* MDA_APPDATA_RECORDS */
    int32_t record_size;       /* bytes per entity */
    uint32_t options;          /* MDA_APPDATA_ZERO, MDA_APPDATA_NULLPTR */
    int32_t model;             /* the model whose entity numbers index it */
    void** blocks;             /* table_size slots; null where no block exists */
} MDA_APPDATA;

/*
 * Makes a store of record_size-byte records on an allocated model and
 * registers it. Record sizes run 1 to 1048575 (a block's size must fit 32
 * bits); others are refused with MDA_MALLOC_ERR. With MDA_APPDATA_NULLPTR and
 * a record shorter than 8 bytes only the whole record is cleared, never more.
 * Returns 0, MDA_INVALID_MODEL, MDA_NULL_MEMPTR (null store) or
 * MDA_MALLOC_ERR; *store is the caller's, released with mda_FreeAppData.
 */
MVX_API int32_t mda_AllocateAppData2(uint32_t options, int32_t record_size, int32_t model,
                                     MDA_APPDATA** store);
/*
 * Copies the entity's record into record (record_size bytes). When its block
 * does not exist the output is zeroed (MDA_APPDATA_ZERO), its first 8 bytes
 * are (MDA_APPDATA_NULLPTR), or it is left alone; the result is 0 all the
 * same and nothing is created. Returns 0, MDA_NULL_MEMPTR (null store or
 * record) or MDA_INVALID_PTR (a db_ptr of another model).
 */
MVX_API int32_t mda_ReadAppData(MDA_APPDATA* store, MDA_PTR db_ptr, void* record);
/* Copies record into the entity's record, creating its block first. A db_ptr
 * of 0 does nothing. Returns 0, MDA_NULL_MEMPTR, MDA_INVALID_PTR, or a
 * failure of mda__ExpandAppData. */
MVX_API int32_t mda_WriteAppData(MDA_APPDATA* store, MDA_PTR db_ptr, const void* record);
/* Frees every block, the table and the store and takes it out of the
 * registry. A store that is not registered (freed already, or never made by
 * mda_AllocateAppData2) is refused with MDA_INVALID_PTR and left alone.
 * Returns 0, MDA_NULL_MEMPTR or MDA_INVALID_PTR. */
MVX_API int32_t mda_FreeAppData(MDA_APPDATA* store);
/*
 * Creates block number block of a store (a block that exists is replaced
 * only by a caller that frees it first; this does not check). The table
 * doubles until it has a slot for the block. New content: zeroed
 * (MDA_APPDATA_ZERO), the first 2048 eight-byte words zeroed, at most the
 * whole block (MDA_APPDATA_NULLPTR), or undefined.
 * Returns 0, MDA_NULL_MEMPTR, MDA_NO_MORE_PTR (negative block or block >=
 * MDA_APPDATA_BLOCK_LIMIT), MDA_REALLOC_ERR (the table cannot grow, also
 * when it would need more than 2^31 - 1 slots) or MDA_MALLOC_ERR.
 */
MVX_API int32_t mda__ExpandAppData(MDA_APPDATA* store, int64_t block);
/* Zeroes the entity's record in every registered store of its model that
 * has its block. options 0x4 or 0x8: the model's own parent-list store is
 * skipped. A db_ptr of 0 does nothing. Returns 0. */
MVX_API int32_t mda__ZeroAppData(uint32_t options, MDA_PTR db_ptr);

/*
 * Entity callbacks, four lists per model, called in registration order with
 * the list's kind as code and the address of the entity's db_ptr; results
 * are ignored. The library calls kind MDA_CB_MODIFIED when a modified entity
 * is unlocked, MDA_CB_RELEASED when an entity is released or its db_ptr
 * replaced, and MDA_CB_CREATED when an entity is created; MDA_CB_USER is
 * never called by the library. A callback may register and clear callbacks
 * (itself too) while it runs: a cleared one is not called again, one added
 * is called from the next event on. Freeing the model from a callback is
 * not allowed.
 */
#define MDA_CB_USER 0
#define MDA_CB_MODIFIED 1
#define MDA_CB_RELEASED 2
#define MDA_CB_CREATED 3
typedef int32_t (*MDA_ENTITY_CALLBACK)(int32_t code, MDA_PTR* db_ptr);

/* Appends function to the model's list of the kind (the same function may
 * be registered more than once and is then called as often).
 * Returns 0, MDA_INVALID_MODEL, MDA_NULL_MEMPTR (null function), MDA_MALLOC_ERR,
 * or MDA_CALLBACK_NOT_FOUND for a kind outside 0 to 3. options: ignored. */
MVX_API int32_t mda_SetCallBack(uint32_t options, int32_t model, int32_t kind,
                                MDA_ENTITY_CALLBACK function);
/* Removes the first registration of function from the model's list of the
 * kind. Returns 0, MDA_INVALID_MODEL, or MDA_CALLBACK_NOT_FOUND (not in the
 * list, or a kind outside 0 to 3). options: ignored. */
MVX_API int32_t mda_ClearCallBack(uint32_t options, int32_t model, int32_t kind,
                                  MDA_ENTITY_CALLBACK function);

/*
 * ---- Entity lists -----------------------------------------------------------
 *
 * An entity list keeps entities in append order in slots (a model's own list
 * has one slot per dictionary type, indexed by TFI). Each entity's links
 * {next, previous} live in an application-data store of the list's model;
 * per slot the list keeps head, cursor, tail, the tail's previous and a
 * count. Every model owns one (MDA_MODEL.entity_list, also handed out by
 * mda_GetModelInfo), kept up to date by entity creation, retyping and
 * release. A slot number outside 0 to slots - 1 is refused with
 * MDA_INTERNAL_ERR naming the operation.
 */
#define MDA_END_OF_LIST 0x9FFFC

typedef struct MDA_ENTITY_LIST {
    MDA_APPDATA* links; /* {next, previous} db_ptrs per entity */
    MDA_PTR* heads;
    MDA_PTR* cursors;    /* the entity mda_CycleEntityList returns next */
    MDA_PTR* tail_prevs; /* the previous link of each tail */
    MDA_PTR* tails;
    int32_t* counts;
    int32_t slots;
    uint32_t options;
} MDA_ENTITY_LIST;

/* Makes an empty list of slots slots (>= 0) on an allocated model. Returns
 * 0, MDA_INVALID_MODEL, MDA_NULL_MEMPTR (null list) or MDA_MALLOC_ERR (also
 * for a negative slot count); *list is the caller's (mda_FreeEntityList). */
MVX_API int32_t mda_AllocateEntityList2(uint32_t options, int32_t slots, int32_t model,
                                        MDA_ENTITY_LIST** list);
/* Frees the links, the arrays and the record. A null list does nothing.
 * Returns 0. */
MVX_API int32_t mda_FreeEntityList(MDA_ENTITY_LIST* list);
/* Appends an entity at the slot's tail; the first entity of a slot also
 * becomes its cursor. An entity already in the list is not added:
 * MDA_DUPLICATE_ENTLIST_ENTRY. Returns 0, that, MDA_NULL_MEMPTR,
 * MDA_INTERNAL_ERR (bad slot), MDA_INVALID_PTR (null db_ptr, or one of
 * another model) or an allocation failure of the links. */
MVX_API int32_t mda_AddToEntityList(MDA_ENTITY_LIST* list, int32_t slot, MDA_PTR db_ptr);
/* Takes an entity out of the slot; a cursor on it moves to its successor.
 * An entity that is not in the slot is left alone with result 0. Returns
 * 0, MDA_NULL_MEMPTR, MDA_INTERNAL_ERR (bad slot) or MDA_INVALID_PTR. */
MVX_API int32_t mda_RemoveFromEntityList(MDA_ENTITY_LIST* list, int32_t slot, MDA_PTR db_ptr);
/* *db_ptr = the slot's cursor, which moves to its successor: 0; at the end
 * *db_ptr is 0 and the result MDA_END_OF_LIST (no message), until the
 * caller sets list->cursors[slot] again (to list->heads[slot] to restart).
 * Returns also MDA_NULL_MEMPTR or MDA_INTERNAL_ERR (bad slot). */
MVX_API int32_t mda_CycleEntityList(MDA_ENTITY_LIST* list, int32_t slot, MDA_PTR* db_ptr);

/*
 * ===========================================================================
 * Entity traversal
 * ===========================================================================
 *
 * One dictionary-driven walk visits every field of an entity, in the order
 * of its field descriptors, and calls a field visitor for every field event:
 *   visitor(entity, count, type, address, field)
 * where entity is the body being walked, type the field type code of the
 * event (DDF_SHORT ... DDF_COUNT for values and counts; DDF_STRUCT /
 * DDF_UNIONTYPE at the start of a struct or union element, DDF_ENDSTRUCT /
 * DDF_ENDUNION after it; DDF_SUBENT before an embedded subentity;
 * DDF_ENDENT at the end of the entity and of each subentity), count the
 * number of elements at address and field the descriptor. Events:
 *   value field        (n, type, first element, field); a scalar has n 1,
 *                      an inline array the product of its dimensions, a
 *                      dynamic array (held by pointer) the product of its
 *                      dimension values, 0 with a null address when its
 *                      pointer is null; mda__TraverseAddr then holds the
 *                      address of the pointer in the body
 *   count field        (1, DDF_COUNT, address, field); the value (which the
 *                      visitor may change) then sizes later arrays
 *   struct / union     per element (1, DDF_STRUCT or DDF_UNIONTYPE, element,
 *                      field) ... (0, DDF_ENDSTRUCT or DDF_ENDUNION, null,
 *                      null); an array with no elements gives (0, begin
 *                      type, null, field) and (0, end type, null, its
 *                      endstruct descriptor); a dynamic array that the
 *                      visitor allocates during that begin event is then
 *                      walked (its first begin event comes again, with
 *                      count 1). A union element starts with
 *                      its 16-bit selector: the member walked is the
 *                      descriptor at position selector after the union's
 *                      (nested descriptors counted); a selector that names
 *                      no member of the union visits no member.
 *   subent             (1, DDF_SUBENT, address, field), then the subentity's
 *                      fields as a level of its own, ending with its
 *                      DDF_ENDENT event
 *   endent / derived   (0, DDF_ENDENT, null, null); the level ends there
 * let fields are computed (their value stored in the field) without an
 * event; union markers, method fields and unknown codes are stepped over.
 *
 * The visitor's answer: MDA_STOP ends the whole walk (every level), which
 * returns MDA_STOP; MDA_SKIP after a DDF_SUBENT event skips that subentity;
 * any other answer continues.
 *
 * Modes (the first argument): 0 leaves arrays alone and allocates nothing.
 * Otherwise each dynamic array is sized to its dimension values before its
 * event: MDA_TRAV_FREE (2) frees an existing array first, MDA_TRAV_RESIZE
 * (4) resizes an existing one instead (contents kept), MDA_TRAV_ALLOCATE
 * (1) alone allocates a new zeroed one without looking at the old pointer
 * (for bodies whose pointers are not yet set). With a mode, an array whose
 * dimensions give no element is freed (with bits 2 or 4) and its pointer
 * set to null. UNSIZED arrays take their size from their allocation and
 * are never sized by the walk.
 *
 * The walk stays inside the body and the blocks its pointers refer to: a
 * dynamic array's event count never exceeds what its block holds, and a
 * field, struct element or subentity that would reach outside the body or
 * its array block ends the walk with MDA_INTERNAL_ERR (" An internal error
 * occurred in function mda__TraverseEntity."); so do structs nested more
 * than MDA_TRAV_MAX_NESTING deep in one level, subentities (and walks
 * started from visitors) nested more than MDA_TRAV_MAX_LEVELS deep, a count
 * field whose slot lies outside the DDF_COUNT_SLOTS count slots, and a
 * struct whose end descriptor is missing. A pointer that is not the data
 * address of one of the library's blocks of the right kind is
 * MDA_BAD_MBLOCK. A dimension that cannot be computed (a division by
 * zero, a bad slot) is 0; so is a let whose instructions cannot be run.
 * An allocation failure ends the walk with its status; the arrays handled
 * before keep their new sizes.
 *
 * Count slots and mda__TraverseAddr: each level has its own count slots
 * (zero on entry), published in ddf__Counters while the level runs;
 * ddf__Counters and mda__TraverseAddr are restored when a level returns,
 * however it ends, so a visitor may start another walk.
 */

/* Walk modes. */
#define MDA_TRAV_ALLOCATE 0x1
#define MDA_TRAV_FREE 0x2
#define MDA_TRAV_RESIZE 0x4
/* Visitor answers; MDA_STOP is also what a stopped walk returns. */
#define MDA_STOP 0x9FFFE
#define MDA_SKIP 0x9FFFD
/* Bounds of the walk's work area. */
#define MDA_TRAV_MAX_NESTING 40
#define MDA_TRAV_MAX_LEVELS 48

/* A field visitor (see above). */
typedef int32_t (*MDA_FIELD_VISITOR)(void* entity, int32_t count, int32_t type, void* address,
                                     DDF_FIELD* field);
/* A model visitor: the db_ptr of a live entity and the db_ptr of entity
 * number 0 of its model; nonzero stops the model walk. */
typedef int32_t (*MDA_MODEL_VISITOR)(MDA_PTR db_ptr, MDA_PTR model_ptr);

/* While a walk runs: the address in the entity of the dynamic array field
 * or struct field being handled (restored when a struct is left). */
MVX_API extern void* mda__TraverseAddr;

/*
 * Walks a locked entity body (see above) with the dictionary of the model
 * named by its own db_ptr made current for the walk (ddf__Current, with
 * ddf__SavedTF reset before and after); the previous current dictionary is
 * restored on return.
 *   mode     0, or MDA_TRAV_* bits
 *   entity   the body (the data address of its block)
 *   visitor  called for every event; null gives MDA_NULL_MEMPTR
 * Returns 0 when the walk reached the end, MDA_STOP when the visitor
 * stopped it, MDA_NULL_MEMPTR, MDA_INVALID_MODEL (the body's model is not
 * allocated), MDA_UNKNOWN_TF (reported: the dictionary lacks its TF),
 * MDA_BAD_MBLOCK, MDA_INTERNAL_ERR, or an allocation failure.
 */
MVX_API int32_t mda_TraverseEntity(int32_t mode, void* entity, MDA_FIELD_VISITOR visitor);

/*
 * The walk itself, over ddf__Current: walks one level from the descriptor
 * first (which must lie in the descriptor run of one of the dictionary's
 * types, else MDA_INTERNAL_ERR) with its data at address data, inside the
 * body entity. Results as mda_TraverseEntity.
 */
MVX_API int32_t mda__TraverseEntity(int32_t mode, void* entity, void* data, DDF_FIELD* first,
                                    MDA_FIELD_VISITOR visitor);

/*
 * Calls visitor for every live entity of a model (neither MDA_DELETED nor
 * MDA_RESERVED), in ascending entity number, or descending with options
 * bit 1. The numbers walked are those handed out when the walk starts; the
 * walk ends when the model is freed by the visitor.
 * Returns MDA_STOP when the visitor answered nonzero, else 0 (also for a
 * model that is not allocated, which is not reported), or a failure of a
 * bounded directory.
 */
MVX_API int32_t mda_TraverseModel(uint32_t options, int32_t model, MDA_MODEL_VISITOR visitor);

/*
 * Prints every field event of an entity to mda__DbgFile: locks it, writes
 * "%d: " (events numbered from 1) and "cnt=%d, %s %s, fld=%p, data=%p,
 * taddr=%p\n" per event (count, the type's name from ddf__FldData, the
 * field's name or "**No name**", the descriptor, the address and
 * mda__TraverseAddr) in a mode-0 walk, and unlocks it. A deleted entity
 * prints "Entity %<PTR> (%<PTR2>) has been deleted.\n" instead; a null
 * db_ptr prints nothing. options: ignored.
 * Returns 0, or the failure to lock the entity (MDA_INVALID_PTR ...), of
 * the walk, or of the unlock.
 */
MVX_API int32_t mda_DbgTraverseEntity(uint32_t options, MDA_PTR db_ptr);

/*
 * Writes the dictionary defaults into a body: walks it in mode
 * MDA_TRAV_ALLOCATE (dynamic arrays are allocated to the sizes their counts
 * give) with mda__DefaultEntity. options: ignored.
 * Returns 0, MDA_NULL_MEMPTR, or a failure of the walk.
 */
MVX_API int32_t mda_DefaultEntity(uint32_t options, void* body);

/*
 * The visitor of mda_DefaultEntity: writes the default of the field
 * (ddf_GetFieldDefault) into each of the count elements of a value or count
 * event (an fstring element gets an empty string), and sets the selector of
 * a union element to 0. Other events, and events without elements, are
 * left alone. Returns 0.
 */
MVX_API int32_t mda__DefaultEntity(void* entity, int32_t count, int32_t type, void* address,
                                   DDF_FIELD* field);

/*
 * ===========================================================================
 * Pointer fields, parent lists and origins
 * ===========================================================================
 *
 * Entities refer to one another through fields of type ptr, each element a
 * db_ptr of any model. A model that keeps back-pointers (the definition's
 * flag, or mda_SetBackPtrs) records for every entity the entities that refer
 * to it: its parent list, a multiset in the order the references were made
 * (a parent holding two references to an entity stands in its list twice).
 * The lists live in the model's parent-list area, an application-data
 * store of 16-byte records. Only the referenced entity's model is updated;
 * references into a model without back-pointers are only stored.
 *
 * Entities of a type registered with mda_RegisterNoBackPtrTF get no parent
 * entries. Removing a reference to such an entity (mda_DeletePtr, and so
 * mda_ModifyPtr and mda_DeleteBackPtrs) is a quiet no-op as well, so that a
 * model with such types can still release its entities.
 *
 * Every entity body carries, besides its own db_ptr, its origin db_ptr: the
 * entity it was translated from. It counts as unset while it equals the own
 * db_ptr (mda_CreateEntity sets it so).
 *
 * The operations that walk pointer fields (mda__SetBackPtrs,
 * mda_DeleteBackPtrs, mda_ModifyParents, mda_ReplaceDbptr,
 * mda_DbgCheckBackPtrs) may run from inside a walk of another entity, but
 * not from a callback of their own.
 */

/* Options of mda__FreePtr. */
#define MDA_FREEPTR_KEEP_BODY 0x1     /* forget the body instead of freeing it */
#define MDA_FREEPTR_WITH_PARENTS 0x2  /* release even when still referenced */
#define MDA_FREEPTR_KEEP_CHILDREN 0x4 /* leave the children's parent lists and
                                         the entity's own record alone */
#define MDA_FREEPTR_KEEP_PARENTS 0x8  /* leave the entity's own record alone */
#define MDA_FREEPTR_RESERVE 0x80000   /* keep the number reserved, never reused */
/* Option of mda_SetBackPtrs and mda_DbgCheckBackPtrs: every model. */
#define MDA_ALL_MODELS 0x100000
/* Option of mda_SetOrigDbptr and mda_WriteOrigDbptr: store even when set. */
#define MDA_ORIG_ALWAYS 0x1
/* Bytes mda_OrigEntityID may write, the terminating NUL included. */
#define MDA_ORIG_ID_SIZE 256

/* Fills count elements of array with value (nothing for count <= 0).
 * Returns 0, or MDA_NULL_MEMPTR for a null array with count > 0. */
MVX_API int32_t mda__FillPtr(int32_t count, MDA_PTR value, MDA_PTR* array);
/* Orders db_ptrs as signed 64-bit values: -1, 0 or 1 (an object-tree
 * comparison). A null operand sorts before any value. */
MVX_API int32_t mda_CompPTRs(const MDA_PTR* a, const MDA_PTR* b);

/*
 * Stores child into *field (when field is not null, whatever follows) and
 * records parent in child's parent list. Nothing is recorded when child's
 * model keeps no back-pointers, when child or parent is null, or when
 * child's type is registered as keeping none; the area is made when the
 * model has none yet.
 * Returns 0; MDA_INVALID_PTR when child is no entity (deleted, or never
 * handed out; a reserved one is accepted) of a back-pointer model;
 * MDA_PAR_LIST_ERR when the list cannot grow; an allocation failure.
 */
MVX_API int32_t mda_AddPtr(MDA_PTR parent, MDA_PTR child, MDA_PTR* field);
/*
 * Removes one entry of parent from child's parent list (the first); the
 * pointer field is not touched. A list that empties becomes "no parents".
 * Returns 0 at once for a null child, a child of a model without
 * back-pointers or of a type keeping none; MDA_NO_BACKPTRS when the model
 * has no parent-list area; MDA_PAR_NOT_FOUND (nothing changed);
 * MDA_INVALID_PTR for an entity number never handed out; MDA_PAR_LIST_ERR.
 */
MVX_API int32_t mda_DeletePtr(MDA_PTR parent, MDA_PTR child);
/* mda_DeletePtr(parent, *field), then mda_AddPtr(parent, child, field); a
 * null *field only adds. Returns 0, MDA_NULL_MEMPTR (null field) or the
 * first failure (the field is unchanged when the removal fails). */
MVX_API int32_t mda_ModifyPtr(MDA_PTR parent, MDA_PTR child, MDA_PTR* field);

/*
 * Rebuilds parent lists: of one model, or with MDA_ALL_MODELS of every
 * allocated model (model is then ignored). Each model concerned drops its
 * lists, gets a fresh area and the back-pointer flag; then every entity
 * is recorded as parent of what it refers to. A number that is no
 * allocated model is skipped. Returns 0 or the first failure (the rebuild
 * stops there; the lists made so far stay).
 */
MVX_API int32_t mda_SetBackPtrs(uint32_t options, int32_t model);
/* Records the entity as parent of every non-null db_ptr in its pointer
 * fields (locks and unlocks it). options: ignored. Returns 0 or the first
 * failure (the entries made before it stay). */
MVX_API int32_t mda__SetBackPtrs(uint32_t options, MDA_PTR db_ptr);
/* Removes the entity from the parent list of every live entity its
 * pointer fields name (locks and unlocks it); nothing when its model has
 * no parent-list area. options: ignored. Returns 0 or the first failure. */
MVX_API int32_t mda_DeleteBackPtrs(uint32_t options, MDA_PTR db_ptr);
/* Deletes every parent list of the model and frees its area; the
 * back-pointer flag stays. options: ignored. Returns 0 or
 * MDA_INVALID_MODEL. */
MVX_API int32_t mda__FreeBackPtrs(uint32_t options, int32_t model);
/* Adds tf to the model's types that keep no parent lists. options:
 * ignored. Returns 0; MDA_INVALID_MODEL; MDA_UNKNOWN_TF (reported);
 * MDA_NO_BACKPTRS as a WARNING for a model without back-pointers;
 * MDA_TREE_ERR. */
MVX_API int32_t mda_RegisterNoBackPtrTF(uint32_t options, int32_t model, int32_t tf);

/*
 * Releases an entity and its db_ptr. In a back-pointer model an entity
 * that is still referenced is refused with MDA_HAS_PARENTS (nothing
 * released) unless MDA_FREEPTR_WITH_PARENTS; unless
 * MDA_FREEPTR_KEEP_CHILDREN it leaves its children's parent lists first
 * (a failure there is returned with nothing released). Then the model's
 * released-entity callbacks are called, the entity's own parent list is
 * dropped (unless MDA_FREEPTR_KEEP_CHILDREN or MDA_FREEPTR_KEEP_PARENTS),
 * its storage released (its body freed unless MDA_FREEPTR_KEEP_BODY: the
 * caller then owns it), its number freed for reuse (MDA_FREEPTR_RESERVE:
 * kept reserved), its count and entity-list entry removed and its
 * application data zeroed. A locked entity is released all the same.
 * Returns 0, MDA_INVALID_PTR (no live entity), MDA_HAS_PARENTS or the
 * first failure.
 */
MVX_API int32_t mda__FreePtr(uint32_t options, MDA_PTR db_ptr);

/*
 * Parent queries. A null db_ptr, or an entity of a model without a
 * parent-list area, has no parents: count 0, null array, result 0. The
 * arrays are malloc'ed; the caller frees them with free. options: ignored.
 *   mda_GetParentCount    the number of entries; always returns 0 (a null
 *                         count is left alone)
 *   mda_GetParents        the entries in the order they were recorded
 *   mda_GetParentsByTF    only parents whose TF is tf (each parent that is
 *                         no longer a live entity reported as
 *                         MDA_INVALID_PTR and left out); null when none
 *   mda_GetNthlevelParents  the parents level steps up, following the
 *                         first parent at each step; a level below 1 gives
 *                         count 0 and a null array
 * Results: 0, MDA_NULL_MEMPTR (null count or array), MDA_INVALID_PTR (an
 * entity number never handed out), MDA_MALLOC_ERR (null array).
 */
MVX_API int32_t mda_GetParentCount(uint32_t options, MDA_PTR db_ptr, int32_t* count);
MVX_API int32_t mda_GetParents(uint32_t options, MDA_PTR db_ptr, int32_t* count,
                               MDA_PTR** parents);
MVX_API int32_t mda_GetParentsByTF(uint32_t options, MDA_PTR db_ptr, int32_t tf, int32_t* count,
                                   MDA_PTR** parents);
MVX_API int32_t mda_GetNthlevelParents(uint32_t options, MDA_PTR db_ptr, int32_t level,
                                       int32_t* count, MDA_PTR** parents);
/* The first parent of db_ptr whose TF is tf, or 0 (a db_ptr, not a
 * status). */
MVX_API MDA_PTR mda_IsTFAParent(int32_t tf, MDA_PTR db_ptr);
/* The first of count db_ptrs whose entity has TF tf, or 0; an element that
 * is no live entity is reported as MDA_INVALID_PTR and does not match. */
MVX_API MDA_PTR mda_IsTFInList(int32_t tf, int32_t count, const MDA_PTR* list);

/*
 * In each of count parents (locked, walked and unlocked marked modified,
 * in order), the first pointer element equal to old_child becomes
 * new_child through mda_ModifyPtr. options: ignored. Returns 0 (also for
 * count 0); MDA_CHILD_NOT_FOUND when some parent held no reference to
 * old_child (the others are changed); MDA_NULL_MEMPTR; or the first failure
 * to lock or change a parent (the parents before it stay changed).
 */
MVX_API int32_t mda_ModifyParents(uint32_t options, int32_t count, const MDA_PTR* parents,
                                  MDA_PTR old_child, MDA_PTR new_child);
/*
 * Moves the entity at old_ptr to new_ptr, a reserved db_ptr of the same
 * model: its references are re-recorded as coming from new_ptr, its own
 * db_ptr (and an origin equal to old_ptr) becomes new_ptr, it moves in the
 * entity list and cache, the released-entity callbacks are called with
 * old_ptr, and old_ptr's number is freed. The entity's own parent list
 * stays under old_ptr: mda_ModifyParents(parents of old_ptr, old_ptr,
 * new_ptr) moves the references and the entries. options: ignored.
 * Returns 0; MDA_MODELS_DIFFER; MDA_INVALID_PTR (null new_ptr, old_ptr no
 * live entity or locked); MDA_ENTITY_NOT_DELETED (new_ptr not reserved);
 * nothing changes after these. Or a later failure.
 */
MVX_API int32_t mda_ReplaceDbptr(uint32_t options, MDA_PTR old_ptr, MDA_PTR new_ptr);

/* Reads the origin db_ptr of an entity. options: ignored. Returns 0,
 * MDA_NULL_MEMPTR or the failure to lock it. */
MVX_API int32_t mda_ReadOrigDbptr(uint32_t options, MDA_PTR db_ptr, MDA_PTR* origin);
/* Locks the entity, mda_SetOrigDbptr, unlocks it marked modified. Returns
 * 0 or the failure to lock or unlock. */
MVX_API int32_t mda_WriteOrigDbptr(uint32_t options, MDA_PTR db_ptr, MDA_PTR origin);
/* Stores origin as the body's origin db_ptr: with MDA_ORIG_ALWAYS always,
 * otherwise only while it is unset. Returns 0 or MDA_NULL_MEMPTR. */
MVX_API int32_t mda_SetOrigDbptr(uint32_t options, void* body, MDA_PTR origin);
/*
 * Writes the identifier of the entity db_ptr was translated from into text
 * (at most MDA_ORIG_ID_SIZE bytes with the NUL): empty when there is no
 * origin; by the origin model's dictionary name, its first field as "%d"
 * ("iges", and names beginning with "automotive_design" or
 * "configuration_control_3d_design") or as a string ("dxfi", "vdaf"; a
 * longer string is cut); otherwise db_ptr's entity number as "%d". When
 * a lookup fails, or the first field has the wrong kind, text is left
 * alone. options: ignored. Returns 0.
 */
MVX_API int32_t mda_OrigEntityID(uint32_t options, MDA_PTR db_ptr, char* text);

/*
 * Compares the model's stored parent lists (every model's with
 * MDA_ALL_MODELS) with lists rebuilt from the pointer fields and prints to
 * mda__DbgFile, per entity that differs, "Inconsistencies in references to
 * #%d:%ld:\n" and a line per unmatched entry: "   mda_Add/ModifyPtr was not
 * called from parent #%d:%ld.\n" for a missing one, "   mda_Delete/ModifyPtr
 * was not called from parent #%d:%ld.\n" for a stale one. A model without
 * a parent-list area prints "No backpointer information in model.\n".
 * Every model's lists and flag are as before afterwards. Model 0 does
 * nothing. Returns 0, MDA_BAD_BACKPTRS when something differed,
 * MDA_INVALID_MODEL, or the rebuild's failure.
 */
MVX_API int32_t mda_DbgCheckBackPtrs(uint32_t options, int32_t model);

/*
 * ===========================================================================
 * Copying and deep deletion
 * ===========================================================================
 */

/* Option of mda_CopyFromOList and mda_CopyFromOTree: record the entity's
 * back-pointers anew (mda__SetBackPtrs), for arrays that hold db_ptrs. */
#define MDA_COPY_SET_BACKPTRS 0x2
/* Options of mda_CopyEntity2: MDA_COPY_ENTER enters the top-level copy into
 * the model (it is then left locked); MDA_COPY_NESTED marks the library's
 * own recursive calls. */
#define MDA_COPY_NESTED 0x1
#define MDA_COPY_ENTER 0x2
/* Options of mda_DeepDeleteEntity: MDA_DEEP_SHARED deletes an entity that
 * has several parents; MDA_DEEP_ALL also deletes children that have other
 * parents, and is passed on to them. */
#define MDA_DEEP_SHARED 0x2
#define MDA_DEEP_ALL 0x10

/* Appends count objects of array (the list's object size each) at the
 * list's end. A count <= 0 does nothing. options: ignored. Returns 0,
 * MDA_NULL_MEMPTR or the list's failure (the objects before it stay). */
MVX_API int32_t mda_CopyToOList(uint32_t options, OLM_LIST* list, int32_t count,
                                const void* array);
/* Adds count objects of array (the tree's object size each) to the tree.
 * Results as mda_CopyToOList. */
MVX_API int32_t mda_CopyToOTree(uint32_t options, OTM_TREE* tree, int32_t count,
                                const void* array);
/*
 * Copies every object of a list (in list order) or a tree (ascending) into
 * a new block owned by the entity whose memory is entity: *array, which
 * must lie in that entity's blocks (a field of it), receives the block and
 * *count the number of objects; an empty container gives a null array and
 * 0. The container's cycle is left alone. options: MDA_COPY_SET_BACKPTRS.
 * Returns 0, MDA_NULL_MEMPTR, MDA_MALLOC_ERR, or the failure of recording
 * back-pointers (the array stays).
 */
MVX_API int32_t mda_CopyFromOList(uint32_t options, void* entity, OLM_LIST* list, int32_t* count,
                                  void** array);
MVX_API int32_t mda_CopyFromOTree(uint32_t options, void* entity, OTM_TREE* tree, int32_t* count,
                                  void** array);

/*
 * A detached copy of an entity's memory (every block of its chain, the
 * copy referring only to its own blocks) for model: own db_ptr model:0,
 * the source's origin, the type index of the model's dictionary. The copy
 * is the caller's until mda_CreateEntity enters it (or mda_FreeEntity frees
 * it). options: ignored. Returns 0, MDA_NULL_MEMPTR, MDA_INVALID_MODEL,
 * MDA_UNKNOWN_TF (the model's dictionary lacks the type, or, being another
 * dictionary than the source's, lays it out differently: body size, field
 * types, flags, dimensions, gaps, structures and subentities must match,
 * and a type with a let field is copied only within one dictionary),
 * MDA_BAD_MBLOCK (a damaged chain) or MDA_MALLOC_ERR; *copy is null after
 * a failure.
 */
MVX_API int32_t mda_DuplicateEntity2(uint32_t options, int32_t model, void* entity, void** copy);

/* The filter of a deep copy: nonzero copies child; 0 uses *replacement
 * (null unless the filter wrote one) in the copy instead. */
typedef int32_t (*MDA_COPY_FILTER)(MDA_PTR child, MDA_PTR* replacement);
/* While a deep copy runs: {source db_ptr, copy db_ptr} pairs by source,
 * kept when a filter is given or some model has entity callbacks (the only
 * code that can look at it during the copy); null otherwise. */
MVX_API extern OTM_TREE* mda__CopyTree;
/*
 * Deep copy into model of the entity whose (locked) memory is entity:
 * every entity it refers to, directly or not, is copied once (shared
 * children stay shared, cycles are reproduced) and entered into the model
 * with its references recorded; the pointer elements of the copies name
 * the copies. filter (may be null) chooses per child. The top-level copy
 * stays detached, its pointers plainly stored, unless MDA_COPY_ENTER
 * enters it (left locked; unlock it). *copy receives its memory.
 * Returns 0, MDA_NULL_MEMPTR, MDA_INVALID_MODEL, MDA_TREE_ERR, or the first
 * failure; the copies made before it stay in the model, unlocked and
 * consistently linked, a detached top-level copy is freed and *copy is
 * null. Not to be started from inside its own filter.
 */
MVX_API int32_t mda_CopyEntity2(uint32_t options, int32_t model, MDA_COPY_FILTER filter,
                                void* entity, void** copy);
/*
 * Deletes an entity with the entities only it refers to. An entity with
 * more than one parent is left alone (result 0) unless MDA_DEEP_SHARED or
 * MDA_DEEP_ALL. Every reference to it is cleared first
 * (mda_ModifyParents); then each child found in its pointer fields (not in
 * embedded subentities) that has other parents is detached
 * (mda_ModifyPtr to null) unless MDA_DEEP_ALL, and every other child is
 * deleted the same way; the entity is then released (mda__FreePtr). An
 * entity that cannot be locked is left alone (result 0). Returns 0 or the
 * first failure; what was deleted before it stays deleted.
 */
MVX_API int32_t mda_DeepDeleteEntity(uint32_t options, MDA_PTR db_ptr);

/*
 * ===========================================================================
 * Saved models
 * ===========================================================================
 *
 * A model (or a selection of its entities with everything they reach) is
 * written as text and read back into an empty model of the same dictionary
 * with the same entity numbers, values and pointers:
 *
 *   BEGIN_MODEL <model> <dictionary name> <version> <release>
 *   #<entity> = <type name>(<value>,<value>,...);      one per live entity,
 *   ...                                               ascending numbers
 *   END_MODEL <model>
 *
 * The values are those of the entity's field events (mda_TraverseEntity,
 * mode 0) in order: one per element of every value field, count field and
 * union selector; structs, arrays and subentities have no brackets. Numbers:
 * integers in decimal (a char as a signed byte); a float or double exactly
 * zero as "0.0", otherwise its "%#.16g" text with the trailing zeros of a
 * text without exponent removed down to one digit after the point (1.5,
 * 100.0, 1.000000000000000e+300); non-finite values as "inf", "-inf",
 * "nan". Pointers: "NULL" (also for entity number 0), or "model:entity".
 * Strings (fstring up to its length or first NUL, vstring, null vstring as
 * "") start a line of their own, after three blanks, in double quotes with
 * '"' and '\' escaped by a backslash. An UNSIZED field is preceded by its
 * element count; a dynamic value array without elements is a blank value.
 *
 * Line width: the column starts at the length of the "#n = name(" text plus
 * one; a value that would bring it to 79 or more (with its comma) goes on a
 * continuation line (",\n   value"; the column then becomes the length of
 * ",value" plus 4). After a string the column is 4 (the string's own bytes
 * are not counted).
 *
 * Release filter: with a nonzero combined release (version * 100 +
 * release), a field whose release number (bytes 56 to 59 of its descriptor)
 * is nonzero and greater is neither written nor read. A struct or union
 * that is filtered is filtered whole: nothing inside it is written or read
 * (its UNSIZED count and union selectors included), so writer and reader
 * stay in step.
 *
 * The state of the save or restore under way lives in the variables below;
 * one save or restore at a time.
 */

/* Options of mda_SaveModel and mda_SaveEntities; MDA_SAVE_NOTHING also of
 * mda_RestoreModel. */
#define MDA_SAVE_REPLACE 0x200000 /* an existing file may be replaced */
#define MDA_SAVE_NOTHING 0x40000  /* return 0 at once */
/* The writer's value buffer and the reader's buffer. */
#define MDA_SM_VALUE_BUF 160
#define MDA_SM_LINE_BUF 32768
/* Entries of the struct stack: a sentinel and 10 open structs. */
#define MDA_SM_STACK_SIZE 11
/* The largest entity number a saved file may hold (the file's "%ld"). */
#define MDA_SM_MAX_ENTITY 0x7FFFFFFF

/* An open struct or union of the field walk: its descriptor, the elements
 * still to come (an UNSIZED struct array counts all of them) and whether
 * it is filtered by release. */
typedef struct MDA_SM_STACK {
    DDF_FIELD* desc;
    int32_t remaining;
    int32_t filtered;
} MDA_SM_STACK;

MVX_API extern FILE* mda__SMFile;         /* the open file, or null */
MVX_API extern char* mda__SMBuf;          /* the value or read buffer, or null */
MVX_API extern char* mda__SMBufPtr;       /* reading: the cursor in mda__SMBuf */
MVX_API extern int32_t mda__SMCurCol;     /* writing: the output column */
MVX_API extern int32_t mda__SMNumFields;  /* values of the current record */
MVX_API extern int32_t mda__SMError;      /* the failure that stopped a walk */
MVX_API extern const char* mda__SMName;   /* the file name, or null */
MVX_API extern const int32_t* mda__SMModels; /* the models given, or null */
MVX_API extern int32_t mda__SMNumModels;  /* 1 while a save or restore runs */
MVX_API extern OTM_TREE* mda__SMTree;     /* mda_SaveEntities: the selection */
MVX_API extern int32_t mda__cur_dbver_rev; /* the combined release in force */
MVX_API extern MDA_SM_STACK mda__SMStack[MDA_SM_STACK_SIZE];
MVX_API extern MDA_SM_STACK* mda__SMStackPtr; /* the top entry */

/*
 * Writes models[0] (count must be at least 1; the others are ignored) to
 * the file name. The header carries the model's target release split into
 * version and release when it is nonzero, else the dictionary's version and
 * revision; the target release is also the combined release of the field
 * filter. The model is current during the call and the previous one
 * afterwards.
 *   options  MDA_SAVE_REPLACE: replace an existing file; MDA_SAVE_NOTHING
 * Returns 0; MDA_NULL_MEMPTR (null name or models, count below 1);
 * MDA_INVALID_MODEL; MDA_FILE_EXISTS (the file is left alone); MDA_OPEN_ERR;
 * MDA_MALLOC_ERR; DOF_WRITE_ERR when the file cannot be written; the
 * failure to lock or unlock an entity; MDA_INTERNAL_ERR (FATAL) for structs
 * nested deeper than the stack. A failed save removes the file it opened.
 * A pointer into another model is written "NULL" with the WARNING
 * MDA_CROSS_MODEL_PTR stacked (not a failure).
 */
MVX_API int32_t mda_SaveModel(uint32_t options, const char* name, int32_t count,
                              const int32_t* models);

/*
 * Writes count entities of the first one's model together with every entity
 * of that model they reach through pointer fields (pointers into other
 * models are not followed: they are written "NULL"), as mda_SaveModel
 * restricted to them. The collection keeps its own work list, so chains of
 * any length are followed without recursion. Options as mda_SaveModel.
 * Returns 0, MDA_NULL_MEMPTR (count below 1, null array), MDA_TREE_ERR,
 * MDA_MALLOC_ERR, the failure to lock an entity (nothing is written), or
 * what mda_SaveModel returns; MVX_CLEANUP_ERR when an entity cannot be
 * unlocked after its walk.
 */
MVX_API int32_t mda_SaveEntities(uint32_t options, const char* name, int32_t count,
                                 const MDA_PTR* db_ptrs);

/*
 * Reads a saved file into models[0], which must hold no live entity; its
 * numbering restarts so that the file's entity numbers become the model's.
 * The pre-restore callback (0, model) runs first and its failure ends the
 * call; after the last record every pointer is checked, the parent lists
 * are rebuilt as mda_SetBackPtrs(0, model) builds them (from the pointers
 * noted while reading, without locking the entities again; the model keeps
 * back-pointers from then on) and the post-restore callback runs. Numbers the file skips are
 * reserved; a later record may fill them.
 *   options  MDA_SAVE_NOTHING
 * The reader takes any bytes. Whitespace may surround every value; lines
 * outside records that do not start with '#' are skipped; reading ends at
 * the END_MODEL line, which must be there (a file cut short at a record's
 * end is an error, not a smaller model). Strings and lines may be of any
 * length.
 * Returns 0; MDA_NULL_MEMPTR; MDA_INVALID_MODEL; MDA_MODEL_NOT_EMPTY;
 * MDA_MALLOC_ERR; MDA_OPEN_ERR; MDA_INCORRECT_DBNAME (a name longer than a
 * dictionary name is shown cut, with "..."); MDA_INCORRECT_DBVERSION;
 * MDA_UNKNOWN_NAME; the failure of an entity's creation (a record whose
 * number was read already gives MDA_PTR_ALREADY_CREATED) or of its arrays;
 * MDA_INTERNAL_ERR (FATAL; structs nested too deep); or MDA_FILE_READ_ERR,
 * whose file name is followed by the line and what was wrong: the end of
 * the file inside a record or before END_MODEL, a malformed number or
 * header, a number out of range for its field (integers for their width,
 * floats for float, entity numbers 1 to MDA_SM_MAX_ENTITY), an entity
 * number more than 16777216 past the highest number read before it, a
 * missing separator or value, a missing quote, a string longer than its
 * fstring, an UNSIZED count that the rest of the file cannot hold or that
 * does not divide by the field's other dimensions, a value array longer
 * than the rest of the file, or a pointer to an entity that the file does
 * not hold. NEWER_DBRELEASE and OLDER_DBRELEASE are stacked as WARNINGs and
 * reading goes on. After a failure the entities read so far stay in the
 * model (the one being read with the values read into it), without parent
 * lists.
 */
MVX_API int32_t mda_RestoreModel(uint32_t options, const char* name, int32_t count,
                                 const int32_t* models);

/*
 * The field visitors of saving and restoring (both walks in mode 0): they
 * write or read the values of one field event to or from mda__SMFile,
 * keeping the struct stack. The reader allocates each dynamic array of the
 * new body itself, after checking its element count against the bytes
 * left in the file, so a count that the file cannot hold costs nothing.
 * A null struct array whose dimensions give elements is written as a blank
 * value when its elements open with a value that is never blank (a number,
 * string, pointer, selector or count), and read back null; for other
 * structs the writer writes nothing for it, and the reader, which cannot
 * tell such an array from its elements, reads the elements. They answer
 * MDA_STOP after a failure, which is in mda__SMError (already reported). Only for the walks of mda_SaveModel and
 * mda_RestoreModel.
 */
MVX_API int32_t mda__FormatField(void* entity, int32_t count, int32_t type, void* address,
                                 DDF_FIELD* field);
MVX_API int32_t mda__ParseField(void* entity, int32_t count, int32_t type, void* address,
                                DDF_FIELD* field);

/*
 * Debugging shortcuts, always replacing the file. options: ignored.
 *   mda_DbgSaveModel     model 0 does nothing; a model that is not
 *                        allocated issues MDA_INVALID_MODEL to mda__DbgFile
 *                        (the stack left alone) and returns it
 *   mda_DbgSaveEntity    a null db_ptr does nothing
 *   mda_DbgSaveEntities  db_ptrs in text separated by blanks or commas,
 *                        decimal or 0x hexadecimal; a token that does not
 *                        read prints "Error decoding pointer: %s\n" on
 *                        standard error and ends the list; an invalid
 *                        db_ptr prints "Invalid pointer %<PTR> (%<PTR2>)\n"
 *                        there and is skipped; a 33rd token prints
 *                        "Warning:  Only first 32 pointers will be saved"
 *                        and ends it. A null text, or no valid db_ptr,
 *                        writes nothing.
 * Return 0 or the save's result.
 */
MVX_API int32_t mda_DbgSaveModel(uint32_t options, const char* name, int32_t model);
MVX_API int32_t mda_DbgSaveEntity(uint32_t options, const char* name, MDA_PTR db_ptr);
MVX_API int32_t mda_DbgSaveEntities(uint32_t options, const char* name, const char* text);

MVX_END_DECLS

#endif /* MVX_MDA_H */
