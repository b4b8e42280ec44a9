/* OSM module internals. */
#ifndef MVX_OSM_INT_H
#define MVX_OSM_INT_H

#include "mvx/osm.h"

/* The module's descriptor, copied into the registry by osm_Initialize. */
extern const MVX_MODULE osm_Module;

#endif
