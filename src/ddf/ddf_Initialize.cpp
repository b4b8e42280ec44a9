#include "mvx/mvx.h"
#include "ddf/ddf_int.h"

extern "C" int32_t ddf_Initialize(uint32_t /*options*/) {
    mvx__Table[MVX_MODULE_DDF] = ddf_Module;
    return 0;
}
