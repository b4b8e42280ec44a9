/*
 * UGN: general utilities (module 10).
 */
#ifndef MVX_UGN_H
#define MVX_UGN_H

#include <stdint.h>
#include <stdio.h>

#include "mvx/olm.h"
#include "mvx/otm.h"
#include "mvx/types.h"

MVX_BEGIN_DECLS

/*
 * Messages (status codes).
 *
 * The module's messages are numbered in the order in which its operations
 * introduce them: the options-table check and the argument scan of
 * ugn_ParseCommandLine (0xA0001-0xA000C, MALLOC_ERR among them at 0xA0005),
 * the environment-alias table (ENVALIAS_ERR 0xA000D, ENV_VAR_TOO_LONG
 * 0xA000E), then the number utilities (MAXEXP_ERR 0xA000F, MINEXP_ERR
 * 0xA0010, BAD_FLOAT 0xA0011). All seventeen numbers are taken.
 *
 * MAXEXP_ERR and MINEXP_ERR are results of ugn_FormatDouble that it returns
 * without reporting; their texts say what the formatter did. BAD_FLOAT is
 * registered but issued by no operation of the library.
 *
 * MALLOC_ERR raises the memory exception; the others none.
 */
#define UGN_OPTS_INVALID_NAME 0xA0001
#define UGN_OPTS_INVALID_TYPE 0xA0002
#define UGN_OPTS_INVALID_GROUP 0xA0003
#define UGN_OPTS_REQUIRED_IN_GROUP 0xA0004
#define UGN_MALLOC_ERR 0xA0005
#define UGN_OPTS_UNKNOWN_OPTION 0xA0006
#define UGN_OPTS_REPEATED_OPTION 0xA0007
#define UGN_OPTS_CONFLICT 0xA0008
#define UGN_OPTS_VALUE_MISSING 0xA0009
#define UGN_OPTS_INVALID_TF 0xA000A
#define UGN_OPTS_ILLEGAL_TYPE 0xA000B
#define UGN_OPTS_REQUIRED_NOT_FOUND 0xA000C
#define UGN_ENVALIAS_ERR 0xA000D
#define UGN_ENV_VAR_TOO_LONG 0xA000E
#define UGN_MAXEXP_ERR 0xA000F
#define UGN_MINEXP_ERR 0xA0010
#define UGN_BAD_FLOAT 0xA0011

/*
 * Starts the module (called by mvx_Initialize): registers its descriptor,
 * sets ugn__TmpNum to 0 and creates the environment-alias table and the
 * temporary-name list. A second call without ugn_Terminate releases the old
 * table and list first. options: reserved. Returns 0, or the status of the
 * container that could not be created (reported by it); the operations below
 * then work without the missing table or list.
 */
MVX_API int32_t ugn_Initialize(uint32_t options);

/*
 * Stops the module (called by mvx_Terminate): frees every stored value and
 * the alias table, every recorded temporary name and the list. The temporary
 * files themselves are left alone. options: reserved. Returns 0.
 */
MVX_API int32_t ugn_Terminate(uint32_t options);

/* ---- Environment aliases and temporary files ---------------------------- */

/* Longest variable name or alias, in bytes. */
#define UGN_ENV_NAME_MAX 64
/* Size of the temporary-name buffer ugn__TmpNam. */
#define UGN_TMPNAM_SIZE 1024

/*
 * An entry of the environment-alias table, ordered by strcmp of the names.
 * The text fields hold up to UGN_ENV_NAME_MAX bytes and a terminator.
 *   name   the variable name
 *   alias  the variable it points at; empty: none
 *   value  the library's own value of name (heap, owned by the table) or null
 */
typedef struct UGN_ENVALIAS {
    char name[UGN_ENV_NAME_MAX + 1];
    char alias[UGN_ENV_NAME_MAX + 1];
    char* value;
} UGN_ENVALIAS;

/* The environment-alias table (records UGN_ENVALIAS); null before ugn_Initialize. */
MVX_API extern OTM_TREE* ugn__EnvAliases;
/* Number of temporary names built from MORVEX_TMP since ugn_Initialize. */
MVX_API extern int32_t ugn__TmpNum;
/* The last temporary name built from MORVEX_TMP. */
MVX_API extern char ugn__TmpNam[UGN_TMPNAM_SIZE];
/* Every temporary name handed out, oldest first: records of one char* (heap
 * copies owned by the list); null before ugn_Initialize. */
MVX_API extern OLM_LIST* ugn__TempNameList;

/*
 * Stores a copy of value as the library's own value of the variable name;
 * the process environment is not changed. options: reserved.
 *   name   at most UGN_ENV_NAME_MAX bytes, else UGN_ENV_VAR_TOO_LONG
 *   value  copied; null forgets the stored value (the entry and its alias
 *          stay), so that lookups of name fall through to the environment
 * Returns 0, UGN_ENV_VAR_TOO_LONG, UGN_ENVALIAS_ERR (null name, no table, or
 * the entry could not be added) or UGN_MALLOC_ERR, each reported at ERROR;
 * on failure the table is as it was.
 */
MVX_API int32_t ugn_SetEnv(uint32_t options, const char* name, const char* value);

/*
 * Points the variable name at the variable alias: a lookup of name then
 * yields alias's value when alias has one. options: reserved.
 *   name   at most UGN_ENV_NAME_MAX bytes, else UGN_ENV_VAR_TOO_LONG
 *   alias  at most UGN_ENV_NAME_MAX bytes, else UGN_ENV_VAR_TOO_LONG; an
 *          empty alias leaves name without one; null removes name's entry,
 *          its stored value included (nothing happens when there is none)
 * Returns 0, UGN_ENV_VAR_TOO_LONG or UGN_ENVALIAS_ERR (null name, no table,
 * or the entry could not be added), reported at ERROR; on failure the table
 * is as it was.
 */
MVX_API int32_t ugn_SetEnvAlias(uint32_t options, const char* name, const char* alias);

/*
 * Reads a variable. The value of a name x is x's stored value when the table
 * has one, else the process environment's (getenv). For name: without an
 * entry, the environment's value; with an alias whose value is not null,
 * that value; otherwise the value of name. Aliases are followed one level
 * only. options: reserved.
 *   value  receives the value or null; it belongs to the table (valid until
 *          the variable is changed) or to the environment. A null name gives
 *          null; a null value address is ignored.
 * Returns 0.
 */
MVX_API int32_t ugn_GetEnv(uint32_t options, const char* name, char** value);

/*
 * Makes a new temporary file name; the file is not created.
 *
 * With MORVEX_TMP (read with ugn_GetEnv) set and not empty: the directory,
 * a '/' unless it already ends in '/' or '\', and "t%4.4x%03x.%03x" of the
 * process id, the low 8 bits of ugn__TmpNum and ugn__TmpNum >> 8, built in
 * ugn__TmpNam; ugn__TmpNum is incremented. The result is ugn__TmpNam, which
 * the next such call overwrites. A name that would not fit the 1024 bytes
 * of ugn__TmpNam is refused with UGN_ENV_VAR_TOO_LONG (with a first line
 * naming MORVEX_TMP) instead of being cut. An empty MORVEX_TMP counts as
 * unset, so that no name lands in the root directory.
 *
 * Otherwise: "tmp%04x." of the process id followed by a sequence number of
 * at least three hex digits, in the directory named by TMPDIR (when set and
 * not empty), else /tmp. The name never names an existing file (or link):
 * sequence numbers are tried in turn until lstat finds nothing under the
 * name. When the directory cannot be searched, or no free number is found,
 * MVX_BAD_FILENAME is reported with a first line that says why. A TMPDIR
 * that is not valid UTF-8 fails with UNL_CONVERSION_ERR. The result is the
 * recorded copy itself, valid until ugn_Terminate.
 *
 * Every name handed out is recorded in ugn__TempNameList. Returns the name
 * (owned by the library), or null after reporting the failure (UGN_MALLOC_ERR
 * when the name cannot be recorded); a failed call leaves ugn__TmpNum,
 * ugn__TmpNam and the list as they were.
 */
MVX_API char* ugn_TempFile(void);

/*
 * Hands out the temporary names recorded so far. options: reserved.
 *   count  receives their number (may be null)
 *   names  receives a new array of them, oldest first, or null when there
 *          are none; the caller frees the array with free, the names belong
 *          to the library. May be null when only the count is wanted.
 * Returns 0, or UGN_MALLOC_ERR (reported at ERROR; *count 0, *names null).
 */
MVX_API int32_t ugn_GetTempFileName(uint32_t options, int32_t* count, char*** names);

/* Returns the process id. */
MVX_API int32_t ugn_GetPID(void);

/*
 * Opens a file with fopen. path and mode are checked to be valid UTF-8 (with
 * unl_StrUTF8ToUTF16, which reports UNL_CONVERSION_ERR otherwise); a 't' in
 * mode (text mode) is dropped, and a mode longer than 15 bytes is refused.
 * Returns the stream or null; errno is EILSEQ for an invalid text, EINVAL for
 * a null or over-long one.
 */
MVX_API FILE* ugn_Fopen(const char* path, const char* mode);

/*
 * Opens a file with open(2) flags and permission mode after checking that
 * path is valid UTF-8 (as ugn_Fopen). Returns the file descriptor, or -1
 * with errno set (EILSEQ for an invalid path, EINVAL for a null one).
 */
MVX_API int32_t ugn_Open(const char* path, int32_t flags, int32_t mode);

/*
 * Tells whether a file exists by opening it read-only with ugn_Open.
 * options: reserved. Returns 0 for a null path, a path that is not valid
 * UTF-8, and when the open fails with ENOENT, ENOTDIR or ENAMETOOLONG (the
 * name can name nothing); 1 when the open succeeds (the file is closed
 * again) or fails otherwise (the file is there but cannot be opened, e.g.
 * EACCES).
 */
MVX_API int32_t ugn_FileExist(uint32_t options, const char* path);

/*
 * Removes a file after checking that path is valid UTF-8 (as ugn_Fopen).
 * Returns unlink's result: 0 on success, -1 with errno set; a path that is
 * not valid UTF-8 (or null) gives -1 with errno EILSEQ (EINVAL) and removes
 * nothing.
 */
MVX_API int32_t ugn_Unlink(const char* path);

/*
 * Writes name with its extension replaced into out: when name has a '.',
 * everything up to and including the last one followed by extension (a '.'
 * of a directory part counts too: "a.d/x" gives "a.ext"); otherwise
 * "name.extension". options: reserved. out must hold strlen(name) +
 * strlen(extension) + 2 bytes. Returns 1 when out was written; 0, leaving
 * out untouched, when name or extension is empty or any pointer is null.
 */
MVX_API int32_t ugn_GetFileName(uint32_t options, const char* name, const char* extension,
                                char* out);

/* ---- Command-line options ----------------------------------------------- */

/*
 * One record of an options table. A table is an array of records ending with
 * a record whose name is null.
 *   name         the option without its leading '-' ("o" matches "-o",
 *                "-help" matches "--help"); "[" opens a group of mutually
 *                exclusive options, "]" closes it (groups do not nest)
 *   type         a type letter, optionally followed by '+' for a required
 *                option (required options may not be inside a group); null
 *                in group markers:
 *                  f  flag, no value; stores int32_t 1
 *                  d  double ("%lf")
 *                  i  int32_t ("%d")
 *                  l  int32_t ("%ld"; a long of the interface is 32 bits)
 *                  m  MDA_PTR from "model:entity", or "entity" (model 0)
 *                  s  char*: the argument itself, not copied
 *                  t  int32_t TF from "type:form" (type * 65536 | form)
 *   argument     placeholder shown after the option in the usage line
 *                (not for flags); may be null
 *   value        where the value is stored; may be null, in which case the
 *                option (and its value) are checked but left in argv
 *   description  help text of the option list; may be null
 */
typedef struct UGN_OPTION {
    const char* name;
    const char* type;
    const char* argument;
    void* value;
    const char* description;
} UGN_OPTION;

/*
 * Parses the options at the front of a command line against table.
 *   options  reserved, pass 0
 *   table    the options table (not changed); null is taken as an empty
 *            table
 *   argc     in: the number of arguments in argv, argv[0] included; out: the
 *            number left after the consumed ones were removed
 *   argv     the arguments; consumed ones are removed and the rest moved
 *            down in their order, argv[0] staying first; the slots freed
 *            at the end are set to null. The texts themselves are not
 *            copied or freed.
 * The table is checked first (UGN_OPTS_INVALID_NAME, _INVALID_TYPE,
 * _INVALID_GROUP, _REQUIRED_IN_GROUP). Then, from argv[1] and while an
 * argument begins with '-', each is looked up by exact name
 * (UGN_OPTS_UNKNOWN_OPTION), checked for repetition (UGN_OPTS_REPEATED_OPTION)
 * and for a conflict inside its group (UGN_OPTS_CONFLICT), and its value
 * taken from the next argument (UGN_OPTS_VALUE_MISSING when there is none, or
 * when it begins with '-' and the type is not d, i or l, so numbers may be
 * negative; UGN_OPTS_INVALID_TF, UGN_OPTS_ILLEGAL_TYPE). The first argument
 * that does not begin with '-' ends the options. Finally every required
 * option must have been seen (UGN_OPTS_REQUIRED_NOT_FOUND).
 * Returns 0, or the status of the first failure, reported at error severity
 * (UGN_MALLOC_ERR when the bookkeeping cannot be allocated). After a failure
 * values stored so far stay stored, consumed arguments are null in argv and
 * argv is neither compacted nor *argc changed.
 * Choices made here:
 *  - A null argc or argv, or *argc below 2, is a command line without
 *    arguments: the table is still checked and required options reported;
 *    argv and *argc are left as they are.
 *  - A null entry in argv before *argc ends the options, like a positional
 *    argument.
 *  - Numbers are read as scanf reads them: leading blanks skipped, the
 *    number at the start taken, the rest ignored; "model:entity" needs the
 *    ':' right after the model. A d, i, l or m value whose numbers cannot be
 *    read ("abc" for an i option) is consumed and leaves the stored value as
 *    it was; it is not reported. Integers beyond the 32-bit range are
 *    clamped to INT32_MIN or INT32_MAX.
 *  - An m value stores the model in 7 bits and the entity number in 57
 *    bits, as the db_ptr holds them.
 *  - A t value also gives UGN_OPTS_INVALID_TF when the type or the form
 *    before or after its ':' is not a number.
 *  - A group left open at the end of the table is accepted and runs to the
 *    end of the table.
 */
MVX_API int32_t ugn_ParseCommandLine(uint32_t options, const UGN_OPTION* table, int32_t* argc,
                                     char** argv);

/*
 * Prints the usage text of an options table on the standard error stream:
 * "Usage:", the program name followed by every option ("[-name arg]" for an
 * optional option, "-name arg" for a required one, "[-a x | -b | -c]" for a
 * group) and the trailing text, wrapped before column 80 and continued under
 * the first option; then one line per option with its description; then the
 * extra lines.
 *   options   reserved, pass 0
 *   table     the options table; null prints no options
 *   program   the program's path; only the part after the last '/' or '\'
 *             is shown. Null shows an empty name.
 *   trailing  text after the options (the positional arguments), or null
 *   extra     null-terminated array of lines printed at the end, or null
 * Returns 0.
 * Choices made here: a group that a "[" record or the end of the table
 * interrupts is closed there with "]", and a "]" without an open group is
 * passed over, so the brackets printed always balance; a record with a null
 * type is shown as an optional option with a value.
 */
MVX_API int32_t ugn_PrintUsage(uint32_t options, const UGN_OPTION* table, const char* program,
                               const char* trailing, const char* const* extra);

/* ---- Memory, text and number utilities ---------------------------------- */

/*
 * Exchange the contents of the arrays a and b, count elements of each (the
 * arrays are swapped with each other; byte order is not reversed). A count
 * below 1 or a null array does nothing. The arrays must not overlap.
 */
MVX_API void ugn_SwapByte(int32_t count, uint8_t* a, uint8_t* b);
MVX_API void ugn_SwapShort(int32_t count, int16_t* a, int16_t* b);
MVX_API void ugn_SwapInt(int32_t count, int32_t* a, int32_t* b);
MVX_API void ugn_SwapLong(int32_t count, int32_t* a, int32_t* b); /* a long is 32 bits */
MVX_API void ugn_SwapFloat(int32_t count, float* a, float* b);
MVX_API void ugn_SwapDouble(int32_t count, double* a, double* b);

/*
 * Copies |count| bytes from `from` to `to`: upwards from the first byte when
 * count is positive, downwards from the last byte when it is negative. So
 * within one buffer a block moves towards lower addresses with a positive
 * count and towards higher addresses with a negative one. Where source and
 * target share their alignment modulo 4 the middle is copied as 32-bit
 * words. A count of 0, a null pointer or from == to does nothing.
 */
MVX_API void ugn_MoveByte(int32_t count, const uint8_t* from, uint8_t* to);

/* Sets count bytes of `to` to value. A count below 1 or a null `to` does
 * nothing. */
MVX_API void ugn_FillByte(int32_t count, uint8_t value, uint8_t* to);

/* Sets count bytes of `to` to 0. A count below 1 or a null `to` does
 * nothing. */
MVX_API void ugn_ZeroByte(int32_t count, uint8_t* to);

/* Returns the ASCII code of the EBCDIC code (0 to 255), or -1 for a code
 * outside that range or without an ASCII counterpart. */
MVX_API int32_t ugn_EbcdicToAscii(int32_t code);

/*
 * Three-way comparisons, -1, 0 or 1. They take their arguments as const
 * void* so that they serve unchanged as OTM_COMPARE functions of object
 * trees and as qsort/bsearch comparators.
 *   ugn_DbptrCompare   a and b point to MDA_PTR; signed 64-bit order
 *   ugn_IntCompare     a and b point to int32_t; signed 32-bit order
 *   ugn_DoubleCompare  a and b point to double; -1 when *b > *a, 1 when
 *                      *a > *b, else 0 (so a NaN compares equal to anything)
 */
MVX_API int32_t ugn_DbptrCompare(const void* a, const void* b);
MVX_API int32_t ugn_IntCompare(const void* a, const void* b);
MVX_API int32_t ugn_DoubleCompare(const void* a, const void* b);

/*
 * Formats value with 15 significant digits and a 'D' exponent into out,
 * which must hold 24 bytes and is cleared first; the text has at most 22
 * characters: 1.0D0, 123.456D0, -2.5D0, .001D0, 10000000000000.0D0, 1.0D14,
 * 1.23D-14. Up to 10^13, and for small numbers whose digits and leading
 * zeros fit 15 places, the number is written out and ends in D0. The value
 * is scaled by repeated multiplication by 10 or 0.1, so for large exponents
 * the last digit may differ from the exact one (1.7e308 gives
 * 1.70000000000003D308).
 * Returns 0; UGN_MINEXP_ERR when the exponent is below -307 (-307 is
 * written); UGN_MAXEXP_ERR when it would pass 308 (308 is written). Neither
 * is reported, only returned.
 * Choice made here: an infinite or NaN value is refused before any
 * scaling: out is left empty (all 24 bytes 0) and UGN_BAD_FLOAT is
 * returned, not reported.
 */
MVX_API int32_t ugn_FormatDouble(double value, char* out);

/*
 * Returns 1 when line, read from its start, reaches the text marker before
 * any letter or digit, else 0 (the end of the line also gives 0). An empty
 * marker gives 1. A null marker or line is taken as an empty text.
 */
MVX_API int32_t ugn_IsComment(const char* marker, const char* line);

/* Returns 0 when text holds a printable non-blank ASCII character (33 to
 * 126), else 1 (blanks, control characters, 127 and bytes above 127 count
 * as empty). A null text gives 1. */
MVX_API int32_t ugn_IsNull(const char* text);

/* Change text in place to lower or upper case (tolower/toupper of every
 * character). ugn_LowerProper lowers the text and then turns the first
 * character after leading spaces into upper case when it is a to z. A null
 * text is left alone. */
MVX_API void ugn_GetLower(char* text);
MVX_API void ugn_GetUpper(char* text);
MVX_API void ugn_LowerProper(char* text);

/*
 * Grows a caller-managed array of elements of `size` bytes.
 *   mode 1, *allocated 0:   *block becomes a zeroed array of step elements
 *                           and *allocated = step
 *   mode 1, *allocated > 0: nothing changes, the result is 1
 *   other modes, *allocated 0: *block becomes an uninitialised array of step
 *                           elements and *allocated = step
 *   other modes, *allocated > 0: when used + extra >= *allocated the array
 *                           grows to *allocated + step elements (contents
 *                           kept) and *allocated grows by step; otherwise
 *                           nothing changes
 * Returns 0 on success, 1 on failure; nothing is reported. The array is
 * malloc'ed; release it with ugn_FreeMemory or free.
 * Choices made here: a failed allocation changes nothing: *allocated and
 * *block keep their values, so the old array survives a failed growth and
 * stays the caller's. A step or size below 1, an element count that would
 * pass INT32_MAX, or a null allocated or block pointer, fails the same way.
 */
MVX_API int32_t ugn_GetMemory(int32_t mode, int32_t used, int32_t extra, int32_t step, int32_t size,
                              int32_t* allocated, void** block);

/*
 * Allocates count elements of `size` bytes into *block: zeroed with mode 1,
 * uninitialised otherwise. Returns 0, or 1 on failure with *block
 * unchanged (also for a negative count or size, or a null block). A count
 * or size of 0 gives a valid empty block.
 * The block is malloc'ed; release it with ugn_FreeMemoryShort or free.
 */
MVX_API int32_t ugn_GetMemoryShort(int32_t mode, int32_t count, int32_t size, void** block);

/* Frees *block, sets it to null and sets *used and *allocated to 0. Null
 * pointers among the arguments are skipped. */
MVX_API void ugn_FreeMemory(int32_t* used, int32_t* allocated, void** block);

/* Frees *block and sets it to null. A null block pointer does nothing. */
MVX_API void ugn_FreeMemoryShort(void** block);

MVX_END_DECLS

#endif /* MVX_UGN_H */
