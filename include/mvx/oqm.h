/*
 * OQM: the object queue manager (module 5).
 *
 * The library keeps no queue operations; the module only registers its
 * descriptor so that its status codes have names and texts.
 */
#ifndef MVX_OQM_H
#define MVX_OQM_H

#include <stdint.h>

#include "mvx/types.h"

MVX_BEGIN_DECLS

/* Messages. */
#define OQM_NOMEMORY 0x50001
#define OQM_NULLPOINTER 0x50002
#define OQM_NOOBJECTS 0x50003

/* Registers the module's descriptor. Returns 0. */
MVX_API int32_t oqm_Initialize(uint32_t options);

MVX_END_DECLS

#endif /* MVX_OQM_H */
