#include "mvx/mvx.h"
#include "dof/dof_int.h"

extern "C" int32_t dof_Initialize(uint32_t /*options*/) {
    mvx__Table[MVX_MODULE_DOF] = dof_Module;
    dof__FileNum = 0;
    return 0;
}
