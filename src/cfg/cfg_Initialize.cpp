#include "mvx/mvx.h"
#include "cfg/cfg_int.h"

extern "C" int32_t cfg_Initialize(uint32_t /*options*/) {
    mvx__Table[MVX_MODULE_CFG] = cfg_Module;
    return 0;
}
