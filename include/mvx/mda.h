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

MVX_END_DECLS

#endif /* MVX_MDA_H */
