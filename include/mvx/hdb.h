/*
 * HDB: heap debugger (module 16).
 *
 * An allocation tracer for callers that route their allocations through it.
 * A tracked block is a header, the caller's data and a two-byte end marker
 * (0xAA 0xAA); the header ends with the start marker "UU" directly before
 * the data, and the caller's pointer addresses the first data byte. Tracked
 * blocks stay on a list from which the heap is validated, dumped and
 * summarised.
 *
 * The library's allocation entry points (hdb__Malloc, hdb__Realloc,
 * hdb__Free, hdb__Strdup) pass straight through to the C allocator and
 * record nothing: the list holds only the blocks a caller links itself with
 * hdb__AddToHeap, and the dumps print nothing while hdb__Rqst is 0. All
 * reports go to hdb__Output.
 */
#ifndef MVX_HDB_H
#define MVX_HDB_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "mvx/types.h"

MVX_BEGIN_DECLS

/* The module's only message, a placeholder whose text is empty. */
#define HDB__DUMMY 0x100001

/* Option bit: validation also checks that freed blocks were not written. */
#define HDB_CHECK_FREED 0x80000

/* Header flag: the block has been freed (kept on the list for checking). */
#define HDB_FREED 0x1

/* The header of a tracked block. The data begins right after the start
 * marker, at HDB_HEADER_SIZE bytes from the header. */
typedef struct HDB_BLOCK {
    uint64_t size;      /* bytes of caller data */
    uint32_t request;   /* request number at allocation */
    const char* file;   /* source file of the requester */
    int32_t line;       /* source line of the requester */
    struct HDB_BLOCK* next;
    struct HDB_BLOCK* previous;
    uint16_t checksum;  /* of the data, taken when the block was freed */
    uint16_t flags;     /* HDB_FREED */
    char start[2];      /* "UU" */
} HDB_BLOCK;

#define HDB_HEADER_SIZE (offsetof(HDB_BLOCK, start) + 2)
/* The caller's data of a block, and the block of a data pointer. */
#define HDB_DATA(block) ((void*)((char*)(block) + HDB_HEADER_SIZE))
#define HDB_BLOCK_OF(data) ((HDB_BLOCK*)((char*)(data) - HDB_HEADER_SIZE))

/* Counters of the allocation entry points (the stubs leave them alone). */
MVX_API extern uint32_t hdb__Mallocs, hdb__Callocs, hdb__Reallocs, hdb__Frees, hdb__Strdups;
MVX_API extern uint32_t hdb__Rqst;      /* request counter */
MVX_API extern uint32_t hdb__BreakRqst; /* request number at which to stop */
MVX_API extern uint64_t hdb__TotMem;    /* bytes now allocated */
MVX_API extern uint32_t hdb__TotBlk;    /* blocks now allocated */
MVX_API extern uint64_t hdb__MaxMem;    /* high-water bytes */
MVX_API extern uint32_t hdb__MaxMemBlk; /* blocks at the high-water mark */
MVX_API extern uint32_t hdb__MaxBlk;    /* high-water block count */
MVX_API extern HDB_BLOCK* hdb__Head;
MVX_API extern HDB_BLOCK* hdb__Tail;
MVX_API extern const char* hdb__LastFile; /* last successful validation */
MVX_API extern int32_t hdb__LastLine;
MVX_API extern uint32_t hdb__LastRqst;
MVX_API extern uint32_t hdb__Options;
MVX_API extern FILE* hdb__Output;    /* reports; standard error */
MVX_API extern FILE* hdb__TraceFile; /* trace; standard output */
MVX_API extern const char* hdb__Unknown; /* "Unknown": a null file or caller name */

/* Registers the module and resets every counter, pointer and option; the
 * streams go back to standard error and standard output. Returns 0. */
MVX_API int32_t hdb_Initialize(uint32_t options);

/* malloc, or calloc of one element of size bytes when flags bit 0 is set
 * (bit 1 marks a string duplicate). Records nothing. */
MVX_API void* hdb__Malloc(uint32_t flags, const char* file, int32_t line, size_t size);
/* realloc and free; record nothing. */
MVX_API void* hdb__Realloc(const char* file, int32_t line, void* pointer, size_t size);
MVX_API void hdb__Free(const char* file, int32_t line, void* pointer);
/* A malloc'ed copy of the string; a null string prints "NULL pointer passed"
 * and calls hdb_Error. NULL on failure. */
MVX_API char* hdb__Strdup(const char* file, int32_t line, const char* string);

/* Appends a block at the tail of the list / unlinks it. */
MVX_API void hdb__AddToHeap(HDB_BLOCK* block);
MVX_API void hdb__DeleteFromHeap(HDB_BLOCK* block);

/* The data's checksum: even-position bytes XORed into the high byte,
 * odd-position bytes into the low byte. */
MVX_API uint16_t hdb__GetBlockChecksum(const HDB_BLOCK* block);

/* 1 when the two bytes before pointer are "UU" (a tracked block), else 0. */
MVX_API int32_t hdb__IsPtrHDB(const void* pointer);

/*
 * Walks the list checking each block's start and end markers, and with
 * HDB_CHECK_FREED the checksum of each freed block (a changed one is
 * reported and stored anew). Returns 1 when the heap is sound (a non-null
 * file is then recorded as the last successful validation), else 0 after
 * the report, the last successful validation and hdb_Error.
 */
MVX_API int32_t hdb__ValidateHeap(const char* file, int32_t line, const char* name);
/* 1 at once while hdb__Rqst is 0; otherwise hdb__ValidateHeap(NULL, 0, NULL). */
MVX_API int32_t hdb_ValidateHeap(void);
/* 1 when the pointer's start marker is present; otherwise reports a corrupt
 * block, calls hdb_Error and returns 0. */
MVX_API int32_t hdb__ValidatePtr(const char* file, int32_t line, const char* name, const void* pointer);

/* Prints the breakpoint line. */
MVX_API void hdb_Break(const char* file, int32_t line, const char* name);
/* A non-zero request becomes hdb__BreakRqst. */
MVX_API void hdb_SetBreak(uint32_t request);
/* OR bits into / clear bits from hdb__Options. */
MVX_API void hdb_SetOption(uint32_t bits);
MVX_API void hdb_ClearOption(uint32_t bits);
/* Does nothing: every detected corruption calls it, for a debugger to stop. */
MVX_API void hdb_Error(void);
/* Does nothing: its presence marks allocation entry points that are stubs. */
MVX_API void hdb__HeapStubs(void);

/* The dumps; each prints nothing while hdb__Rqst is 0. hdb_DumpHeap lists
 * the blocks not freed, then the statistics; hdb_DumpPtr one block. */
MVX_API void hdb_DumpHeap(void);
MVX_API void hdb_DumpPtr(const void* pointer);
MVX_API void hdb_DumpStats(void);
/* Unlinks and frees (with free) every block marked freed. */
MVX_API void hdb_FlushFrees(void);

MVX_END_DECLS

#endif /* MVX_HDB_H */
