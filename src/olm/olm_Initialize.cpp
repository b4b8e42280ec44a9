#include "mvx/mvx.h"
#include "olm/olm_int.h"

extern "C" int32_t olm_Initialize(uint32_t /*options*/) {
    mvx__Table[MVX_MODULE_OLM] = olm_Module;
    return 0;
}
