/*
 * OLM: object lists (module 2).
 *
 * A doubly linked list of fixed-size records whose elements are slots carved
 * out of blocks, so that adding and removing rarely allocates: removed slots
 * go to a free chain and blocks are released only by olm_DeleteList.
 *
 * Positions, wherever an operation takes one:
 *   -1 the head, -2 the tail, 0 the current element, n >= 1 the n-th element.
 *
 * Failures are reported through the message module at ERROR and the
 * operation returns NULL or the status code; the list's records, current
 * element and cycle index are then unchanged (it may have kept a new block).
 * The list never needs the message module to be initialised.
 *
 * Records are stored 16 bytes into 8-byte aligned slots: they are 8-byte
 * aligned, enough for pointers, 64-bit integers and doubles.
 *
 * Cycling: olm_CycleList hands out the records from the head. Removals,
 * olm_GetArray, olm_CopyList, olm_MergeList (on list two) and a successful
 * lookup of a position n >= 1 restart the cycle; adding does not.
 */
#ifndef MVX_OLM_H
#define MVX_OLM_H

#include <stdint.h>

#include "mvx/otm.h"
#include "mvx/types.h"

MVX_BEGIN_DECLS

/* Messages. */
#define OLM_NOMEMORY 0x20001
#define OLM_INVALIDSIZE 0x20002
#define OLM_NULLPOINTER 0x20003
#define OLM_INVALIDPOSITION 0x20004
#define OLM_SIZENOTEQ 0x20005

/* Positions. */
#define OLM_HEAD (-1)
#define OLM_TAIL (-2)
#define OLM_CURRENT 0

/* Option bits of olm_MergeList: treat an empty list as a real operand. */
#define OLM_MERGE_EMPTY_ONE 0x1
#define OLM_MERGE_EMPTY_TWO 0x2

/* A list element (one slot): links, then the record. */
typedef struct OLM_ELEM {
    struct OLM_ELEM* next;
    struct OLM_ELEM* prev;
    /* record bytes follow */
} OLM_ELEM;

/* A list handle. Fields are read-only for callers. */
typedef struct OLM_LIST {
    void* blocks; /* most recently allocated slot block */
    OLM_ELEM* head;
    OLM_ELEM* tail;
    OLM_ELEM* free;    /* first slot of the free chain */
    OLM_ELEM* current; /* what position 0 refers to */
    int32_t size;      /* record size in bytes */
    int32_t per_block; /* slots per block, > 0 */
    int32_t slot_size; /* size + 16, rounded up to a multiple of 8 */
    int32_t count;     /* number of records */
    int32_t cycle;     /* 0, or position of the record handed out last */
    intptr_t user;     /* caller's word, not interpreted */
} OLM_LIST;

/* Registers the module's descriptor. Returns 0. */
MVX_API int32_t olm_Initialize(uint32_t options);

/*
 * Creates an empty list with its first block.
 *   size       record size in bytes; <= 0 is refused with OLM_INVALIDSIZE, and
 *              so is a size whose slot size would not fit in 32 bits
 *   per_block  slots per block; <= 0 is refused with OLM_INVALIDSIZE
 *   user       stored and carried over by copies and merges
 * Returns the list (free it with olm_DeleteList) or NULL (OLM_INVALIDSIZE,
 * OLM_NOMEMORY).
 */
MVX_API OLM_LIST* olm_CreateList(uint32_t options, int32_t size, int32_t per_block, intptr_t user);

/* Frees every block, then the list. Returns 0 or OLM_NULLPOINTER. */
MVX_API int32_t olm_DeleteList(uint32_t options, OLM_LIST* list);

/*
 * Inserts a record at a position: -1 becomes the head, -2 the tail, 0 goes in
 * front of the current element (on an empty list: the only one), n >= 1
 * becomes the n-th. The new element becomes current. record may be NULL: the
 * caller then fills the returned record. Returns the stored record, or NULL
 * (OLM_NULLPOINTER, OLM_NOMEMORY, OLM_INVALIDPOSITION). Does not reset a
 * running cycle.
 * When n >= 2 is more than one past the count, OLM_INVALIDPOSITION is
 * reported twice, with n - 1 (the predecessor's lookup) and then with n,
 * and NULL returned; on an empty list only the first report is made and the
 * record is inserted. The lookup moves neither the current element nor the
 * cycle. Positions below -2 are refused with one OLM_INVALIDPOSITION.
 */
MVX_API void* olm_AddObject(uint32_t options, OLM_LIST* list, int32_t position, const void* record);

/* Makes the element at the position current and returns its record, or NULL
 * (-1, -2, 0 on an empty list: no message; a position beyond the count or
 * below -2: OLM_INVALIDPOSITION with it, nothing changed; OLM_NULLPOINTER).
 * A position n >= 1 that is found restarts the cycle. */
MVX_API void* olm_GetObject(uint32_t options, OLM_LIST* list, int32_t position);

/* Removes the element at the position; the current element stays current
 * (when it is the removed one, its successor, or its predecessor at the
 * tail). Resets the cycle. Returns 0 or the status code: OLM_NULLPOINTER, or
 * OLM_INVALIDPOSITION with the position when it names no element, which
 * includes -1, -2 and 0 on an empty list. */
MVX_API int32_t olm_RemoveObject(uint32_t options, OLM_LIST* list, int32_t position);

/* Empties the list, keeping its blocks for reuse. Returns 0 or OLM_NULLPOINTER. */
MVX_API int32_t olm_RemoveAll(uint32_t options, OLM_LIST* list);

/* Hands out the records from head to tail, then NULL once; the next call
 * starts again. Each call makes the record's element current and continues
 * from the current element, so a record added during a cycle is followed by
 * its successor. When the current element has no successor before the count
 * is reached (it was moved to the tail during the cycle), OLM_NULLPOINTER is
 * reported and the cycle ends with NULL. A null list: OLM_NULLPOINTER. */
MVX_API void* olm_CycleList(uint32_t options, OLM_LIST* list);

/*
 * Inserts count records of the array so that they stand, in array order, at
 * the position: the last one is inserted at the position as by
 * olm_AddObject, then each earlier one at position 0. The first array record
 * ends up current. Slots for all of them are made before anything is
 * inserted, so a failure inserts nothing.
 * Returns 0, OLM_NULLPOINTER, OLM_INVALIDSIZE (count <= 0) or the failure
 * (OLM_NOMEMORY, OLM_INVALIDPOSITION).
 */
MVX_API int32_t olm_AddArray(uint32_t options, OLM_LIST* list, int32_t position, int32_t count,
                             const void* array);

/*
 * Returns a new array of all records from head to tail and stores their
 * number in *count (0 first). Resets the cycle. The caller frees the array
 * with mvx_Free. An empty list gives NULL with *count 0 and no message; a
 * null list or count gives NULL with OLM_NULLPOINTER; OLM_NOMEMORY leaves
 * the cycle as it was.
 */
MVX_API void* olm_GetArray(uint32_t options, OLM_LIST* list, int32_t* count);

/* Returns a copy of the list (same sizes and user word, the records in the
 * same order, its last record current), or NULL (OLM_NULLPOINTER,
 * OLM_NOMEMORY). Resets the source's cycle when the copy succeeds. */
MVX_API OLM_LIST* olm_CopyList(uint32_t options, OLM_LIST* list);

/*
 * Merges two lists as sets under compare (the tree contract): OTM_SYMDIFF,
 * OTM_UNION or OTM_INTERSECT. The result holds each distinct record once, in
 * ascending order, with list one's record size, records per block and user
 * word. Of records that compare equal, the first one of a list counts; a
 * union keeps list one's, an intersection takes list two's. A record twice
 * in list two counts once in a symmetric difference too.
 * Operands: both null give NULL; a null list gives a copy of the other (a
 * null list two also when list one is empty); an empty list gives a copy of
 * the other unless OLM_MERGE_EMPTY_ONE or OLM_MERGE_EMPTY_TWO is set (either
 * bit makes empty lists real operands). Otherwise the record sizes must be
 * equal (OLM_SIZENOTEQ); another operation gives NULL without a message; an
 * empty result gives NULL without a message. The inputs are not changed,
 * except that list two's cycle is reset when the operation was carried out.
 * Returns the new list or NULL (also OLM_NOMEMORY, OTM_NOMEMORY, and
 * OTM_NULLPOINTER for a null compare).
 */
MVX_API OLM_LIST* olm_MergeList(uint32_t options, OLM_LIST* one, OLM_LIST* two, uint8_t operation,
                                OTM_COMPARE compare);

/* Internal: makes a new block of slots and puts them, in address order, in
 * front of the free chain (free slots that remain follow them). Returns 0,
 * OLM_NOMEMORY, OLM_NULLPOINTER, or OLM_INVALIDSIZE for a list whose sizes
 * are not valid. */
MVX_API int32_t olm__CreateBlock(uint32_t options, OLM_LIST* list);

/* Internal: resolves a position, makes that element current and returns the
 * element itself (an OLM_ELEM: its links, then the record; olm_GetObject
 * hands out the record). NULL for -1, -2 or 0 on an empty list (no
 * message), with OLM_INVALIDPOSITION, or with OLM_NULLPOINTER for a null
 * list. */
MVX_API void* olm__SetCurIndex(uint32_t options, OLM_LIST* list, int32_t position);

MVX_END_DECLS

#endif /* MVX_OLM_H */
