#include "mvx/mvx.h"
#include "mth/mth_int.h"

extern "C" int32_t mth_Initialize(uint32_t /*options*/) {
    mvx__Table[MVX_MODULE_MTH] = mth_Module;
    return 0;
}
