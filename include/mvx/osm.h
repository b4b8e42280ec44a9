/*
 * OSM: the object stack manager (module 4).
 *
 * The library keeps no stack operations; the module only registers its
 * descriptor so that its status codes have names and texts.
 */
#ifndef MVX_OSM_H
#define MVX_OSM_H

#include <stdint.h>

#include "mvx/types.h"

MVX_BEGIN_DECLS

/* Messages. */
#define OSM_NOMEMORY 0x40001
#define OSM_NULLPOINTER 0x40002
#define OSM_NOOBJECTS 0x40003

/* Registers the module's descriptor. Returns 0. */
MVX_API int32_t osm_Initialize(uint32_t options);

MVX_END_DECLS

#endif /* MVX_OSM_H */
