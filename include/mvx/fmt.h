/*
 * FMT: format directives (module 13).
 *
 * The named directives that extended message texts and mpm_Printf formats
 * may hold, written "%<" name ">": an entity type ("%<TF>"), a type with its
 * dictionary ("%<DTF>"), an entity reference ("%<PTR>", "%<PTR2>"), where an
 * entity came from ("%<OrigDesc>"), the entity counts of the current model
 * ("%<ModelList>"), the date and time ("%<CurDate>", "%<CurTime>"), the CPU
 * and clock time since mvx_ResetElapsedTime ("%<ElapsedCPU>",
 * "%<ElapsedClock>") and the counts of every message issued so far
 * ("%<ErrorSummary>"). fmt_Initialize registers each handler in mpm__SpecTree
 * under its name (case-sensitive); the formatting engine calls it with the
 * conversion record and the argument list when it meets the directive.
 *
 * Handler contract: handler(options, conv, args) takes the values it needs
 * from *args in order, appends its text to conv->result (a heap string,
 * null or from an earlier append) by formatting one of this module's
 * messages with mpm_GetMessage, and returns 0. Flags, width and precision of
 * the record are ignored. A handler never fails the formatting: a lookup
 * that fails leaves its place empty. A null conv appends nothing and takes
 * no argument; a null args takes none and appends nothing for the
 * directives that take one.
 *
 * Choices of this implementation:
 *  - Only the directive names below are registered. A message text that uses
 *    any other name, such as "%<PFID>" in the geometry module's
 *    DEGENERATE_LINE, keeps the directive's source text unchanged and takes
 *    no argument for it (the engine's rule for a name without a handler).
 *  - PTR prints the model field as the signed 7-bit value it is stored as,
 *    so model 64 prints as -64; PTR2 shows the whole 64-bit value.
 *  - A null DTF record pointer stands for no dictionary and the null TF:
 *    "NULL:16000:16000". A dictionary name is read no further than the
 *    128 bytes of its header field.
 *  - Elapsed times that come out negative (the calendar clock set back) print
 *    00:00:00; hours beyond INT32_MAX print INT32_MAX.
 *  - CurDate and CurTime use the local time (ctime layout); a time that this
 *    layout cannot show (a year beyond 9999) prints nothing.
 *  - ErrorSummary finishes an error-tree cycle that is already running before
 *    it starts its own, and leaves mpm__ErrorCountPtr null when it is done.
 *  - OrigDesc reads an origin's "first field" as the first value field of the
 *    dictionary walk over the entity (inside a leading subentity if the type
 *    starts with one): a short, int, long or count for the IGES and STEP
 *    numbers, a vstring or fstring for the DXF handle and the VDAFS name. A
 *    first field of another kind, or none, prints nothing; so does a TF that
 *    the origin's dictionary does not hold.
 */
#ifndef MVX_FMT_H
#define MVX_FMT_H

#include <stdarg.h>
#include <stdint.h>

#include "mvx/mpm.h"
#include "mvx/types.h"

MVX_BEGIN_DECLS

/* Messages (status codes): the templates in which the directives print. */
#define FMT_CURDATE 0xD0001
#define FMT_CURTIME 0xD0002
#define FMT_ERRORTOTAL 0xD0003
#define FMT_ERRORISSUE 0xD0004
#define FMT_ERRORTERM 0xD0005
#define FMT_NOERROR 0xD0006
#define FMT_ERRORSUMMARY 0xD0007
#define FMT_ELAPSEDTIME 0xD0008
#define FMT_TF 0xD0009
#define FMT_PTR 0xD000A
#define FMT_TEST 0xD000B
#define FMT_PTR2 0xD000C
#define FMT_DTF 0xD000D
#define FMT_ENTITYHEADER 0xD000E
#define FMT_ENTITYCOUNT 0xD000F
#define FMT_ENTITYTOTAL 0xD0010
#define FMT_NOMODEL 0xD0011
#define FMT_IGES_ORIG 0xD0012
#define FMT_DXFI_ORIG 0xD0013
#define FMT_STEP_ORIG 0xD0014
#define FMT_VDAF_ORIG 0xD0015
#define FMT_MDA_ORIG 0xD0016

/*
 * Registers the module's descriptor, then adds (or re-points) the directives
 * in mpm__SpecTree in this order: CurDate, CurTime, ErrorSummary,
 * ElapsedCPU, ElapsedClock, TF, DTF, PTR, PTR2, ModelList, OrigDesc.
 * Must run after mpm_Initialize (mvx_Initialize orders it so); without the
 * message module's tree only the descriptor is registered. options: ignored.
 * Returns 0.
 */
MVX_API int32_t fmt_Initialize(uint32_t options);

/* "%<CurDate>", no argument: the local date as "Sun, Dec  6, 2026" (weekday,
 * month, the two-character day, year: CURDATE). */
MVX_API int32_t fmt__GetCurDate(uint32_t options, MPM_ARGSPEC* conv, va_list* args);

/* "%<CurTime>", no argument: the local time as "hh:mm:ss" (CURTIME). */
MVX_API int32_t fmt__GetCurTime(uint32_t options, MPM_ARGSPEC* conv, va_list* args);

/*
 * "%<ErrorSummary>", no argument. With all five level counters 0: NOERROR.
 * Otherwise, per error-count entry with a total above 0, in ascending code
 * order: "The following message was issued N time(s)", with " and
 * suppressed after M time(s)" when the total exceeds the issued count M, a
 * newline, the message's own text unformatted, a newline; then the five
 * level counters (ERRORSUMMARY).
 */
MVX_API int32_t fmt__GetErrorSummary(uint32_t options, MPM_ARGSPEC* conv, va_list* args);

/* "%<ElapsedCPU>", no argument: processor time since mvx__ProcessTime
 * (ticks as unsigned 32 bits, 1000 per second) as hh:mm:ss (ELAPSEDTIME). */
MVX_API int32_t fmt__GetElapsedCPU(uint32_t options, MPM_ARGSPEC* conv, va_list* args);

/* "%<ElapsedClock>", no argument: calendar time since mvx__ClockTime as
 * hh:mm:ss; hours may have more than two digits (ELAPSEDTIME). */
MVX_API int32_t fmt__GetElapsedClock(uint32_t options, MPM_ARGSPEC* conv, va_list* args);

/* "%<TF>", takes a TF (int32_t): type and form as "%d:%d", each "*" when it
 * is 16001 (any type, any form); the form is the signed low 16 bits. */
MVX_API int32_t fmt__GetTF(uint32_t options, MPM_ARGSPEC* conv, va_list* args);

/* "%<DTF>", takes a const MVX_DTF*: the dictionary's name ("NULL" for a
 * null dictionary), type and form as for TF, separated by colons. */
MVX_API int32_t fmt__GetDTF(uint32_t options, MPM_ARGSPEC* conv, va_list* args);

/* "%<PTR>", takes a db_ptr (int64_t): "#model:entity", the model the top 7
 * bits as a signed value, the entity the low 57 bits. Nothing is looked
 * up, so any value prints. */
MVX_API int32_t fmt__GetPTR(uint32_t options, MPM_ARGSPEC* conv, va_list* args);

/* "%<PTR2>", takes a 64-bit value (int64_t): "0x" and its lower-case hex
 * digits without leading zeros. */
MVX_API int32_t fmt__GetPTR2(uint32_t options, MPM_ARGSPEC* conv, va_list* args);

/*
 * "%<ModelList>", no argument. When mda__CurModelNum names an allocated
 * model: the ENTITYHEADER banner, one ENTITYCOUNT line (entity name, count)
 * per type of the model's dictionary, in its type order, that has entities
 * in the model's entity list, and ENTITYTOTAL with their sum. Otherwise
 * NOMODEL ("No model active.").
 */
MVX_API int32_t fmt__GetModelList(uint32_t options, MPM_ARGSPEC* conv, va_list* args);

/*
 * "%<OrigDesc>", takes a db_ptr (int64_t): where the entity was translated
 * from. Its origin db_ptr is read (the entity locked and unlocked); the
 * origin's model is made current for the look-ups and the previous current
 * model restored. By the name of the origin's dictionary:
 *   "iges"   IGES_ORIG: "IGES", the TF, the type's description, "DE#" and
 *            the origin's first field (the directory entry number);
 *   "dxfi"   DXFI_ORIG: "DXF", the description, "handle:" and the text of
 *            the first field;
 *   "vdaf"   VDAF_ORIG: "VDAFS", the description, "name:" and that text;
 *   "AUTOMOTIVE_DESIGN_CC1", "AUTOMOTIVE_DESIGN_CC2",
 *   "CONFIG_CONTROL_DESIGN"
 *            STEP_ORIG: "STEP", the entity name, "PFID #" and the first field
 *            (the instance number);
 *   other    MDA_ORIG: "MDA", the entity name, "model:entity" and the origin
 *            as "%<PTR>" prints it.
 * An entity that cannot be locked (a null or invalid db_ptr) prints nothing;
 * the lock reports its failure. An origin that is not a valid db_ptr
 * reports MDA_INVALID_PTR (ERROR) and prints nothing. A failing lock or
 * unlock of the origin, or a model that cannot be made current, prints
 * nothing.
 */
MVX_API int32_t fmt__GetOrig(uint32_t options, MPM_ARGSPEC* conv, va_list* args);

MVX_END_DECLS

#endif /* MVX_FMT_H */
