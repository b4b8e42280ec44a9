/* FMT module internals. */
#ifndef MVX_FMT_INT_H
#define MVX_FMT_INT_H

#include <cstdarg>

#include "mvx/ddf.h"
#include "mvx/fmt.h"
#include "mvx/mda.h"
#include "mvx/mpm.h"
#include "mvx/mvx.h"

/* The module's descriptor, copied into the registry by fmt_Initialize. */
extern const MVX_MODULE fmt_Module;

/* A type or form as the TF and DTF templates print it: "%d", or "*" for
 * the wildcard 16001. buf must hold 12 bytes; returns buf. */
const char* fmt_TypeText(int32_t value, char* buf);

/* Appends ELAPSEDTIME for a number of seconds to conv->result: hours,
 * minutes and whole seconds; a negative (or NaN) time prints as 0. */
void fmt_PrintElapsed(MPM_ARGSPEC* conv, double seconds);

/* Fills buf (26 bytes) with the current local time in the 24-character
 * ctime layout plus "\n". Returns false when the time cannot be shown so. */
bool fmt_CtimeText(char* buf);

/* The TFI of tf in dict through the one-entry cache ddf__SavedTF /
 * ddf__SavedTFI (kept when dict is ddf__Current), or -1. */
int32_t fmt_FindTFI(const DDF_DICT* dict, int32_t tf);

/* Entry i of a per-type name table of dict (ent_names, ent_descs), or ""
 * when the table or the entry is missing or i is out of range. */
const char* fmt_TypeString(const DDF_DICT* dict, char* const* table, int32_t tfi);

/* Appends the heap text text (null: nothing) to *result and releases it.
 * When memory runs out *result stays as it was and MVX_EXC_MEMORY is
 * raised. */
void fmt_AppendOwned(char** result, char* text);

#endif
