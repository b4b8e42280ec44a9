#include "mvx/mvx.h"
#include "oqm/oqm_int.h"

extern "C" int32_t oqm_Initialize(uint32_t /*options*/) {
    mvx__Table[MVX_MODULE_OQM] = oqm_Module;
    return 0;
}
