/* MAP module internals. */
#ifndef MVX_MAP_INT_H
#define MVX_MAP_INT_H

#include "mvx/map.h"

/* The module's descriptor, copied into the registry by map_Initialize. */
extern const MVX_MODULE map_Module;

#endif
