#include "mvx/mvx.h"
#include "eam/eam_int.h"

extern "C" int32_t eam_Initialize(uint32_t /*options*/) {
    mvx__Table[MVX_MODULE_EAM] = eam_Module;
    return 0;
}
