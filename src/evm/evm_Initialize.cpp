#include "mvx/mvx.h"
#include "evm/evm_int.h"

extern "C" int32_t evm_Initialize(uint32_t /*options*/) {
    mvx__Table[MVX_MODULE_EVM] = evm_Module;
    return 0;
}
