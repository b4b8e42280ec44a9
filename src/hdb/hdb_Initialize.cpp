#include "mvx/mvx.h"
#include "hdb/hdb_int.h"

extern "C" int32_t hdb_Initialize(uint32_t /*options*/) {
    mvx__Table[MVX_MODULE_HDB] = hdb_Module;
    return 0;
}
