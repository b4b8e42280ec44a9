/*
 * EAM: entity attribute stacks (module 6).
 */
#ifndef MVX_EAM_H
#define MVX_EAM_H

#include <stdint.h>

#include "mvx/types.h"

MVX_BEGIN_DECLS

/* Messages (status codes). NOMEMORY raises the memory exception. */
#define EAM_NULLPOINTER 0x60001
#define EAM_NOMEMORY 0x60002
#define EAM_INVALIDSIZE 0x60003

/* Registers the module's descriptor. Returns 0. */
MVX_API int32_t eam_Initialize(uint32_t options);

MVX_END_DECLS

#endif /* MVX_EAM_H */
