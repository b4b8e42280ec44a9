/* MPM module internals. */
#ifndef MVX_MPM_INT_H
#define MVX_MPM_INT_H

#include <cstdarg>
#include <cstddef>

#include "mvx/dof.h"
#include "mvx/mpm.h"
#include "mvx/mvx.h"

/* The module's descriptor, copied into the registry by mpm_Initialize. */
extern const MVX_MODULE mpm_Module;

/*
 * Depth of the module's own calls into the containers. A container that
 * fails reports through mpm__SetError; while the message module is itself
 * the caller, that report must not come back into the module's trees and
 * lists (it would recurse), so it is dropped and the module raises
 * MVX_EXC_MEMORY instead.
 */
extern int mpm_Busy;

/* Holds mpm_Busy raised for the lifetime of the guard. */
struct MpmBusyGuard {
    MpmBusyGuard() { ++mpm_Busy; }
    ~MpmBusyGuard() { --mpm_Busy; }
    MpmBusyGuard(const MpmBusyGuard&) = delete;
    MpmBusyGuard& operator=(const MpmBusyGuard&) = delete;
};

/* Raises MVX_EXC_MEMORY with code 0: one of the module's allocations failed. */
void mpm_OutOfMemory();

/*
 * Appends n bytes of src to *text (null: a new string). Returns false, with
 * *text unchanged, when memory runs out.
 */
bool mpm_Append(char** text, const char* src, std::size_t n);

/*
 * Formats a heap message text (flag character first) with the arguments and
 * replaces *text by the result, without the flag: as an extended text when
 * the flag is '+' or options hold MPM_EXTENDED, else as a plain printf text.
 * Plain texts read the arguments from a copy of *args; extended texts
 * consume them from *args. Returns false, with *text unchanged, when memory
 * runs out.
 */
bool mpm_Format(uint32_t options, char** text, va_list* args);

/* The extended-text engine behind mpm_Format. */
bool mpm_FormatExtended(char** text, va_list* args);

/*
 * Writes into out the kinds of the arguments that formatting text (flag
 * first) consumes, in the order it consumes them: 'i' int, 'q' 64-bit int,
 * 'd' double, 's' string, 'p' pointer, '*' a width or precision, "<name>" a
 * directive. Two texts with the same kinds can be formatted with the same
 * arguments. Returns false when out is too small.
 */
bool mpm_ArgKinds(const char* text, char* out, std::size_t capacity);

/*
 * Returns a heap copy of the open message table's replacement for the text
 * at text_index of module, or null when the table has none that may be used
 * in place of builtin (see mpm_OpenTable).
 */
char* mpm_TableText(int32_t module, int32_t text_index, const char* builtin);

/*
 * The issuing context read from a tagged argument list: prefix text (heap,
 * owned), source location and stream.
 */
struct MpmTags {
    char* prefix = nullptr;
    const char* file = nullptr;
    int32_t line = 0;
    bool located = false;
    FILE* stream = nullptr;
};

/*
 * Builds the text of a message as it is stacked or issued: the banner
 * (unless MPM_NO_BANNER), then the prefix text (taken over and released),
 * then the formatted message. Returns the heap text, or null when memory
 * ran out (MVX_EXC_MEMORY raised).
 */
char* mpm_BuildText(uint32_t options, int32_t code, int32_t severity, char* prefix, va_list* args);

/* Raises the exception of code's class (valid codes only), then severity's. */
void mpm_RaiseClassAndSeverity(uint32_t options, int32_t code, int32_t severity);

/* The level-counter index of a severity (0..4), or -1 for another code. */
inline int mpm_LevelIndex(int32_t severity) {
    return severity >= MPM_INFO && severity <= MPM_FATAL ? severity - MPM_INFO : -1;
}

/* Compare functions of the module's trees. */
int mpm_CompareCode(const void* key, const void* object); /* leading int32 code, signed */
int mpm_CompareKey(const void* key, const void* object);  /* leading uint32 key */
int mpm_CompareName(const void* key, const void* object); /* leading char name[] */

#endif
