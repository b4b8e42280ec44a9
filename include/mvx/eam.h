/*
 * EAM: entity attribute stacks (module 6).
 *
 * An attribute stack keeps the attributes in force while a translator walks
 * nested structures: an object list of fixed-size records of the
 * application's, whose first record (position OLM_HEAD) is the current one.
 * The application's apply function computes the record that results from
 * applying new attributes to the current ones.
 */
#ifndef MVX_EAM_H
#define MVX_EAM_H

#include <stdint.h>

#include "mvx/olm.h"
#include "mvx/types.h"

MVX_BEGIN_DECLS

/* Messages (status codes). NOMEMORY raises the memory exception. */
#define EAM_NULLPOINTER 0x60001
#define EAM_NOMEMORY 0x60002
#define EAM_INVALIDSIZE 0x60003

/* Flags of a stack's descriptor, set while the apply function is called. */
#define EAM_IN_ADD 0x1     /* by eam_AddToAttrStack2 */
#define EAM_IN_APPLIED 0x2 /* by eam_GetAppliedAttr */

/* An attribute stack: an object list whose user word is its descriptor. */
typedef OLM_LIST EAM_STACK;

/* Returns a new record (malloc'ed; the caller of the function frees it) for
 * the attributes applied to the stack's current record, or NULL when nothing
 * results. */
typedef void* (*EAM_APPLY)(uint32_t options, EAM_STACK* stack, const void* attributes);

/* The descriptor given at allocation; the stack keeps a copy of its own,
 * which the apply function reaches as (EAM_STACK_DEF*)stack->user. */
typedef struct EAM_STACK_DEF {
    uint32_t flags;         /* EAM_IN_* while the apply function runs */
    uint64_t size;          /* record size, 1 .. INT32_MAX - 16 */
    EAM_APPLY apply;
    void* default_record;   /* the caller's; eam_InitAttrStack may change it */
} EAM_STACK_DEF;

/* The record returned by the last eam_AddToAttrStack2 (stored in the stack). */
MVX_API extern void* eam__Attr;

/* Registers the module's descriptor. Returns 0. */
MVX_API int32_t eam_Initialize(uint32_t options);

/*
 * Creates a stack from a copy of the descriptor, holding a copy of the
 * default record as its one current record. Returns the stack (free it with
 * eam_FreeAttrStack) or NULL: EAM_NULLPOINTER (no descriptor, apply function
 * or default record), EAM_INVALIDSIZE (size 0, or too large for a list
 * record), EAM_NOMEMORY.
 */
MVX_API EAM_STACK* eam_AllocateAttrStack(uint32_t options, const EAM_STACK_DEF* descriptor);

/* Calls the apply function; a record it returns is pushed as the new current
 * record and its block freed. Returns the stored record, or NULL when the
 * function gave none (no message, the stack unchanged), EAM_NULLPOINTER, or
 * EAM_NOMEMORY. */
MVX_API void* eam_AddToAttrStack(uint32_t options, EAM_STACK* stack, const void* attributes);

/* As eam_AddToAttrStack with EAM_IN_ADD set during the call; the result is
 * also stored in eam__Attr. */
MVX_API void* eam_AddToAttrStack2(uint32_t options, EAM_STACK* stack, const void* attributes);

/* Calls the apply function with EAM_IN_APPLIED set and returns its record
 * without pushing it (the caller frees it), or NULL (EAM_NULLPOINTER for a
 * null stack). The stack is never changed. */
MVX_API void* eam_GetAppliedAttr(uint32_t options, EAM_STACK* stack, const void* attributes);

/* New blocks (the caller frees them) holding a copy of the current record or
 * of the default record; NULL with EAM_NULLPOINTER or EAM_NOMEMORY. */
MVX_API void* eam_CopyCurrentAttr(uint32_t options, EAM_STACK* stack);
MVX_API void* eam_CopyDefaultAttr(uint32_t options, EAM_STACK* stack);

/* A copy of the stack, the same records in the same order, with its own copy
 * of the descriptor; NULL with EAM_NULLPOINTER or EAM_NOMEMORY. */
MVX_API EAM_STACK* eam_CopyAttrStack(uint32_t options, EAM_STACK* stack);

/* Copies a non-null new default record into the default record the
 * descriptor points to, then leaves the stack holding one copy of it.
 * Returns 0, EAM_NULLPOINTER, or the list's failure (mpm__LastError). */
MVX_API int32_t eam_InitAttrStack(uint32_t options, EAM_STACK* stack, const void* new_default);

/* Frees the descriptor copy and the list. Returns 0 or EAM_NULLPOINTER. */
MVX_API int32_t eam_FreeAttrStack(uint32_t options, EAM_STACK* stack);

MVX_END_DECLS

#endif /* MVX_EAM_H */
