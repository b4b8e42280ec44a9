#include "mvx/mvx.h"
#include "otm/otm_int.h"

extern "C" int32_t otm_Initialize(uint32_t /*options*/) {
    mvx__Table[MVX_MODULE_OTM] = otm_Module;
    return 0;
}
