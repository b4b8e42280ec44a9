/*
 * UNL: text encoding conversion (module 24).
 */
#ifndef MVX_UNL_H
#define MVX_UNL_H

#include <stdint.h>

#include "mvx/types.h"

MVX_BEGIN_DECLS

/*
 * Messages (status codes). The texts of this module have no leading blank,
 * so their first character is taken as the flag and is never printed.
 * MALLOC_ERR raises the memory exception.
 */
#define UNL_INVALID_INDEX_ERR 0x180001
#define UNL_MALLOC_ERR 0x180002
#define UNL_CONVERSION_ERR 0x180003

/* ---- Character tables and string conversion ------------------------------ */

/*
 * A JIS character code is a 16-bit value whose high byte is the row byte and
 * whose low byte is the column byte, each 0x21..0x7E (0x2121 is the first
 * character). Its row index is the row byte - 0x21, its column index the
 * column byte - 0x21; a table index is row * 94 + column.
 *
 * The tables hold exactly the Unicode Consortium's JIS0208 and JIS0212
 * mappings (6879 and 6067 characters, all in the Basic Multilingual Plane);
 * unl_Unicode is their inverse over both sets. A caller that uses them calls
 * unl_Initialize after mvx_Initialize and unl_Terminate before
 * mvx_Terminate. The string conversions need no tables. The module's
 * messages, theirs included, have a name and text only once unl_Initialize
 * has registered the module; before that a failure is still returned and
 * recorded with its status code, but reads as an invalid message.
 */

/* Number of rows of the two JIS tables and characters per row. */
#define UNL_JIS208_ROWS 84
#define UNL_JIS212_ROWS 77
#define UNL_JIS_COLUMNS 94

/* Character-set characters in byte 2 of a unl_Unicode entry. */
#define UNL_SET_JIS208 '8'
#define UNL_SET_JIS212 '2'
/* Set character of the entry unl_UnicodeToJis returns for an invalid code point. */
#define UNL_SET_INVALID 'i'

/* Builds and takes apart an entry of unl_Unicode. */
#define UNL_ENTRY(jis, set)                                                                        \
    ((uint32_t)(((uint32_t)(uint8_t)(set) << 16) | ((uint32_t)(jis)&0xFFFFu)))
#define UNL_ENTRY_JIS(entry) ((uint16_t)((entry)&0xFFFFu))
#define UNL_ENTRY_SET(entry) ((char)(((entry) >> 16) & 0xFFu))

/* JIS X 0208 to Unicode, 84 x 94 entries (0: no character); null until
 * unl_Initialize. Owned by the module. */
MVX_API extern uint16_t* unl_Jis208;
/* JIS X 0212 to Unicode, 77 x 94 entries (0: no character); null until
 * unl_Initialize. Owned by the module. */
MVX_API extern uint16_t* unl_Jis212;
/* Unicode to JIS, 65536 entries indexed by code point: the JIS code in bytes
 * 0-1, the set character '8' or '2' in byte 2, byte 3 zero; all zero for a
 * code point of neither set. Null until unl_Initialize. Owned by the module. */
MVX_API extern uint32_t* unl_Unicode;

/*
 * Registers the module's descriptor in slot 24 of the registry, allocates the
 * three tables zero-filled and fills them. options: reserved.
 * Returns 0, or UNL_MALLOC_ERR (no message) when any of the three allocations
 * failed; the tables that could be allocated are allocated and filled all the
 * same. A second call without unl_Terminate refills the tables it already has
 * instead of allocating them again.
 */
MVX_API int32_t unl_Initialize(uint32_t options);

/*
 * Frees the tables that unl_Initialize allocated. options: reserved. Returns 0.
 * The table pointers are set back to null, so that a second unl_Terminate or
 * a lookup after it finds no table instead of freed memory.
 */
MVX_API int32_t unl_Terminate(uint32_t options);

/*
 * Looks a JIS character up.
 *   set   1 JIS X 0208, 2 JIS X 0212; another set gives 0 without a message
 *         (unless the code itself is malformed)
 *   code  the JIS code
 * Returns the Unicode code point, 0 when the set has no character there.
 * A code whose row or column index is negative or beyond the set's table
 * issues UNL_INVALID_INDEX_ERR at ERROR with the row and column indexes and
 * gives 0. Before unl_Initialize (no table) the result is 0.
 */
MVX_API uint16_t unl_JisToUnicode(int32_t set, int32_t code);

/*
 * Looks a Unicode code point up. options: reserved.
 * Returns the unl_Unicode entry (0 when neither set has the character). A
 * code point below 0 or above 0xFFFF issues UNL_INVALID_INDEX_ERR at ERROR
 * with its row (code >> 8) and column (code & 0xFF) and returns
 * UNL_ENTRY(0, UNL_SET_INVALID), 0x00690000. Before unl_Initialize (no table)
 * a valid code point gives 0.
 */
MVX_API uint32_t unl_UnicodeToJis(uint32_t options, int32_t code);

/*
 * Converts a JIS code to Shift-JIS by arithmetic; only the low 16 bits of
 * code are used. Valid JIS codes (both bytes 0x21..0x7E) give their
 * Shift-JIS code; other values give what the same arithmetic yields. No
 * tables, no messages.
 */
MVX_API int32_t unl_JisToShift(int32_t code);

/*
 * Converts a Shift-JIS code to JIS by arithmetic; only the low 16 bits of
 * code are used. Returns 0 when the computed row or column is negative.
 * The inverse of unl_JisToShift over every valid JIS code. No tables, no
 * messages.
 */
MVX_API int32_t unl_ShiftToJis(int32_t code);

/*
 * Converts a NUL-terminated UTF-8 string into a new NUL-terminated UTF-16
 * string stored in *result; the caller frees it with free. options: reserved.
 * Characters above U+FFFF become surrogate pairs. The input must be
 * well-formed UTF-8: an overlong form, an encoded surrogate (U+D800..U+DFFF),
 * a code point above U+10FFFF, a byte 0xC0, 0xC1 or 0xF5..0xFF, a truncated
 * sequence or a stray continuation byte fails. An empty string gives a buffer
 * holding only the terminator.
 * Returns 0, UNL_MALLOC_ERR or UNL_CONVERSION_ERR, recorded with mpm__SetError
 * at ERROR; on failure *result is null. A null source fails with
 * UNL_CONVERSION_ERR; with a null result address nothing is converted or
 * stored and UNL_CONVERSION_ERR is returned.
 */
MVX_API int32_t unl_StrUTF8ToUTF16(uint32_t options, const char* source, uint16_t** result);

/*
 * Converts a NUL-terminated UTF-16 string into a new NUL-terminated UTF-8
 * string stored in *result; the caller frees it with free. options: reserved.
 * A surrogate pair becomes one four-byte character; an unpaired surrogate
 * fails. Returns 0, UNL_MALLOC_ERR or UNL_CONVERSION_ERR, recorded with
 * mpm__SetError at ERROR; on failure *result is null. Null pointers are
 * treated as in unl_StrUTF8ToUTF16.
 */
MVX_API int32_t unl_StrUTF16ToUTF8(uint32_t options, const uint16_t* source, char** result);

/*
 * Internal steps, exported for the library's own modules.
 */

/*
 * Splits a JIS code into table indexes: code - 0x2020, then row = (high byte)
 * - 1 and column = (low byte) - 1 (arithmetic on the signed value). Null row
 * or column pointers are skipped. Returns 0, or UNL_INVALID_INDEX_ERR without
 * a message when either index is negative.
 */
MVX_API int32_t unl__JisToRowCol(int32_t code, int32_t* row, int32_t* column);

/*
 * Splits a code point into row = code >> 8 (arithmetic) and column =
 * code & 0xFF. Null row or column pointers are skipped. Returns 0, or
 * UNL_INVALID_INDEX_ERR without a message when either is negative.
 */
MVX_API int32_t unl__UniToRowCol(int32_t code, int32_t* row, int32_t* column);

/*
 * Store every character of one set into a zero-filled table: unl__Init208
 * into a table of 84 x 94 entries, unl__Init212 into 77 x 94 entries,
 * unl__InitUniTable the inverse of both sets into 65536 entries. Entries of
 * no character are not written. A null table is ignored.
 */
MVX_API void unl__Init208(uint16_t* table);
MVX_API void unl__Init212(uint16_t* table);
MVX_API void unl__InitUniTable(uint32_t* table);

MVX_END_DECLS

#endif /* MVX_UNL_H */
