/*
 * EVM: validation check tables (module 12).
 *
 * A table keeps, per check, a type, a fix setting, a severity, a value and a
 * tolerance. A check is identified by a status code; its message name names
 * the check. The meanings of the type, fix and severity bytes belong to the
 * application that defines the checks.
 *
 * Choices where behaviour is open:
 * - A null table holds no checks, and a negative count counts as 0.
 * - A value index outside 0 .. count - 1 (or a string check of a table
 *   without string values) gives the check no value: queries leave the value
 *   unchanged, evm_SetDefault stores nothing, copies and merges skip it. A
 *   tolerance index other than -1 outside that range reads as the table's
 *   default tolerance and is never written.
 * - Allocation failures are reported as MVX_EXC_MEMORY.
 */
#ifndef MVX_EVM_H
#define MVX_EVM_H

#include <stdint.h>

#include "mvx/types.h"

MVX_BEGIN_DECLS

/* Messages (status codes). */
#define EVM_INVALID_PTR 0xC0001
#define EVM_NULL_MEMPTR 0xC0002
#define EVM_CHECK_NOT_FOUND 0xC0003

/* Value kinds of a check. */
#define EVM_VALUE_NONE 0
#define EVM_VALUE_INTEGER 1
#define EVM_VALUE_DOUBLE 2
#define EVM_VALUE_STRING 3

/* One check (12 bytes). */
typedef struct EVM_CHECK {
    int32_t identifier; /* a status code; its message name names the check */
    uint8_t type;
    uint8_t fix;
    uint8_t severity;
    uint8_t kind;          /* EVM_VALUE_* */
    int16_t value_index;   /* into the array of that kind */
    int16_t tolerance_index; /* into the double values; -1: the default tolerance */
} EVM_CHECK;

/* A validation table. Every array has count entries; strings may be null. */
typedef struct EVM_TABLE {
    int32_t count;
    EVM_CHECK* checks;  /* sorted by identifier after evm_InitializeTable */
    int32_t* integers;
    double* doubles;    /* also the tolerances */
    char** strings;     /* owned strings (or null entries), or null */
    int32_t user;       /* copied with the table, not read */
    double default_tolerance;
} EVM_TABLE;

/* A check's value as evm_GetCheck hands it out. */
typedef union EVM_VALUE {
    int32_t integer;
    double real;
    char* string; /* owned by the table */
} EVM_VALUE;

/* Result of evm_GetCheck. */
typedef struct EVM_RESULT {
    int32_t identifier;
    uint8_t type;
    uint8_t fix;
    uint8_t severity;
    EVM_VALUE value; /* left unchanged for a check without a value */
    double tolerance;
} EVM_RESULT;

/* Registers the module's descriptor. Returns 0. */
MVX_API int32_t evm_Initialize(uint32_t options);

/* Sorts the checks by identifier (signed comparison), which the look-ups
 * need. Returns 0. */
MVX_API int32_t evm_InitializeTable(uint32_t options, EVM_TABLE* table);

/* Binary search of a sorted table: the check with the identifier, or NULL
 * (no message). */
MVX_API EVM_CHECK* evm__FindCheck(const EVM_TABLE* table, int32_t identifier);

/*
 * Fills *result with the check's identifier, type, fix, severity, value (of
 * its kind) and tolerance (the double at its tolerance index, or the table's
 * default tolerance for -1). A check the table lacks is issued at once as
 * EVM_CHECK_NOT_FOUND (a warning naming the check), and that code returned;
 * *result is then untouched. Otherwise returns 0.
 */
MVX_API int32_t evm_GetCheck(const EVM_TABLE* table, int32_t identifier, EVM_RESULT* result);

/* Set one byte of a check. Return 0, or EVM_CHECK_NOT_FOUND issued as by
 * evm_GetCheck. */
MVX_API int32_t evm_SetType(EVM_TABLE* table, int32_t identifier, uint8_t type);
MVX_API int32_t evm_SetFix(EVM_TABLE* table, int32_t identifier, uint8_t fix);
MVX_API int32_t evm_SetSeverity(EVM_TABLE* table, int32_t identifier, uint8_t severity);

/*
 * Stores a check's value from *value by its kind: an int32_t, a double, or a
 * char* (the table takes the string over and frees the one it held, unless
 * it is the same). A check without a value stores nothing. Returns 0 or
 * EVM_CHECK_NOT_FOUND (issued as by evm_GetCheck).
 */
MVX_API int32_t evm_SetDefault(EVM_TABLE* table, int32_t identifier, const void* value);

/*
 * Fills *destination, a structure of the caller's, with a copy of the
 * source: new arrays of checks, integers and doubles, and when the source
 * has string values a new string array whose entries at the string checks'
 * value indexes are new copies of the source's strings (other entries null).
 * The user word and the default tolerance are copied. Returns 0, or
 * MVX_EXC_MEMORY with *destination untouched.
 */
MVX_API int32_t evm_CopyTable(uint32_t options, const EVM_TABLE* source, EVM_TABLE* destination);

/*
 * For each check of the source in order, finds it in the destination and
 * copies type, fix and severity; the value when both checks have the same
 * kind (a string as a new copy owned by the destination); the tolerance when
 * both tolerance indexes are above 0. Returns 0, or the status of the first
 * check the destination lacks (EVM_CHECK_NOT_FOUND, issued; the checks
 * before it stay merged), or MVX_EXC_MEMORY.
 */
MVX_API int32_t evm_MergeTable(uint32_t options, EVM_TABLE* destination, const EVM_TABLE* source);

/* Frees the arrays, every string, and the table structure itself (which
 * must therefore come from malloc). A null table is ignored. Returns 0. */
MVX_API int32_t evm_DeleteTable(uint32_t options, EVM_TABLE* table);

MVX_END_DECLS

#endif /* MVX_EVM_H */
