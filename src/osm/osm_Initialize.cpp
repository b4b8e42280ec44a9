#include "mvx/mvx.h"
#include "osm/osm_int.h"

extern "C" int32_t osm_Initialize(uint32_t /*options*/) {
    mvx__Table[MVX_MODULE_OSM] = osm_Module;
    return 0;
}
