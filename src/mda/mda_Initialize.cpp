#include <cstdio>

#include "mvx/mvx.h"
#include "mda/mda_int.h"

extern "C" int32_t mda_Initialize(uint32_t /*options*/) {
    mvx__Table[MVX_MODULE_MDA] = mda_Module;
    mda__DbgFile = stdout;
    return 0;
}
