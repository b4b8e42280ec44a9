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
 * Plain texts read the arguments from a copy of *args, and their result is
 * cut to what the line buffer holds unless a "%s" made it longer; extended
 * texts consume them from *args.
 * The result is always a terminated heap string. Returns false, with *text unchanged, when memory
 * runs out.
 */
bool mpm_Format(uint32_t options, char** text, va_list* args);

/* The extended-text engine behind mpm_Format. */
bool mpm_FormatExtended(char** text, va_list* args);

/*
 * The widest width or precision a conversion may have: the number of
 * characters the line buffer holds. A text that writes a larger one is not
 * used from a message table; the engine cuts a larger one to this.
 */
constexpr int32_t MPM_MAX_FIELD = MPM_MSGBUFFER_SIZE - 1;

/*
 * Recognises the conversion of an extended text that begins with the '%' at
 * s[at], filling conv (a conversion without "n$" takes (*counter)++).
 * Returns its length, or 0 when the '%' is literal text.
 */
int32_t mpm_ScanExtended(const char* s, int32_t at, int32_t* counter, MPM_ARGSPEC* conv);

/*
 * Recognises the conversion of a plain text at s[at] in the part of the
 * printf grammar whose arguments and output are known (mpm_grammar.cpp).
 * Returns its length, or 0 when vsnprintf may read it otherwise.
 */
int32_t mpm_ScanPlain(const char* s, int32_t at, MPM_ARGSPEC* conv);

/* True for a "%%" conversion (any flags, width or number): it takes nothing. */
bool mpm_IsPercent(const MPM_ARGSPEC& conv);

/*
 * One argument a text takes: 'i' int, 'l' long, 'q' 64-bit int, 'd'
 * double, 's' string, 'p' pointer, or '<' a directive (name, name_len),
 * whose handler takes what it takes.
 */
struct MpmArgUse {
    char kind;
    const char* name;
    int32_t name_len;
};

/* The arguments a text takes, in the order its formatter takes them. */
struct MpmConsumption {
    static constexpr int kMax = 64;
    MpmArgUse use[kMax];
    int count = 0;
    bool understood = true; // every '%' is understood, no field above MPM_MAX_FIELD
    bool overflow = false;  // more than kMax uses: the list is incomplete
    bool repeated = false;  // an extended text uses an argument number twice
};

/* Lists what text (flag character first) takes; directive names point into it. */
void mpm_Consume(const char* text, MpmConsumption* out);

/*
 * True when a text that takes `table` may be formatted with the arguments
 * of a text that takes `builtin`: it is understood, uses no argument number
 * twice, and takes a leading part of the same arguments.
 */
bool mpm_CanReplace(const MpmConsumption& table, const MpmConsumption& builtin);

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
