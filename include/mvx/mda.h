/*
 * MDA: entity store (module 9).
 */
#ifndef MVX_MDA_H
#define MVX_MDA_H

#include <stdint.h>
#include <stdio.h>

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

/* Registers the module's descriptor and points mda__DbgFile at standard
 * output. Returns 0. */
MVX_API int32_t mda_Initialize(uint32_t options);

/* Releases what the module holds; called by mvx_Terminate. Returns 0. */
MVX_API int32_t mda_Terminate(uint32_t options);

MVX_END_DECLS

#endif /* MVX_MDA_H */
