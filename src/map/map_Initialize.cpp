#include "mvx/mvx.h"
#include "map/map_int.h"

extern "C" int32_t map_Initialize(uint32_t /*options*/) {
    mvx__Table[MVX_MODULE_MAP] = map_Module;
    return 0;
}
