#include "mvx/mvx.h"
#include "hdb/hdb_int.h"

extern "C" int32_t hdb_Initialize(uint32_t /*options*/) {
    mvx__Table[MVX_MODULE_HDB] = hdb_Module;
    hdb__Mallocs = hdb__Callocs = hdb__Reallocs = hdb__Frees = hdb__Strdups = 0;
    hdb__Rqst = hdb__BreakRqst = 0;
    hdb__TotMem = hdb__MaxMem = 0;
    hdb__TotBlk = hdb__MaxMemBlk = hdb__MaxBlk = 0;
    hdb__Head = hdb__Tail = nullptr;
    hdb__LastFile = nullptr;
    hdb__LastLine = 0;
    hdb__LastRqst = 0;
    hdb__Options = 0;
    hdb__Unknown = "Unknown";
    hdb__Output = stderr;
    hdb__TraceFile = stdout;
    return 0;
}
