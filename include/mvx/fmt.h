/*
 * FMT: format directives (module 13).
 */
#ifndef MVX_FMT_H
#define MVX_FMT_H

#include <stdint.h>

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

/* Registers the module's descriptor. Returns 0. */
MVX_API int32_t fmt_Initialize(uint32_t options);

MVX_END_DECLS

#endif /* MVX_FMT_H */
