/*
 * MTH: geometry mathematics (module 11).
 */
#ifndef MVX_MTH_H
#define MVX_MTH_H

#include <stdint.h>

#include "mvx/types.h"

MVX_BEGIN_DECLS

/*
 * Messages (status codes).
 *
 * The texts of this module have no leading blank, so their first character
 * is taken as the flag: it is never printed ("No more memory available\n"
 * prints as "o more memory available"), and DEGENERATE_LINE, which begins
 * with '+', is an extended text. NOMEMORY raises the memory exception.
 */
#define MTH_COLINEARPLANEPNTS 0xB0001
#define MTH_NOMEMORY 0xB0002
#define MTH_SAMEPOINT 0xB0003
#define MTH_PARALLELLINES 0xB0004
#define MTH_SINGULAREQS 0xB0005
#define MTH_INVALID_RANGE 0xB0006
#define MTH_INVALID_OPT 0xB0007
#define MTH_MINMAX 0xB0008
#define MTH_SINGULAR_MATRIX 0xB0009
#define MTH_ORIGIN_POINT 0xB000A
#define MTH_SELFINTERSECT_LOOP 0xB000B
#define MTH_ORIGIN_CROSSING 0xB000C
#define MTH_DEGENERATE_LINE 0xB000D
#define MTH_INTERSECTED_LOOPS 0xB000E

/* Registers the module's descriptor. Returns 0. */
MVX_API int32_t mth_Initialize(uint32_t options);

MVX_END_DECLS

#endif /* MVX_MTH_H */
