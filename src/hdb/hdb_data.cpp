#include "hdb/hdb_int.h"

uint32_t hdb__Mallocs = 0, hdb__Callocs = 0, hdb__Reallocs = 0, hdb__Frees = 0, hdb__Strdups = 0;
uint32_t hdb__Rqst = 0;
uint32_t hdb__BreakRqst = 0;
uint64_t hdb__TotMem = 0;
uint32_t hdb__TotBlk = 0;
uint64_t hdb__MaxMem = 0;
uint32_t hdb__MaxMemBlk = 0;
uint32_t hdb__MaxBlk = 0;
HDB_BLOCK* hdb__Head = nullptr;
HDB_BLOCK* hdb__Tail = nullptr;
const char* hdb__LastFile = nullptr;
int32_t hdb__LastLine = 0;
uint32_t hdb__LastRqst = 0;
uint32_t hdb__Options = 0;
FILE* hdb__Output = nullptr;
FILE* hdb__TraceFile = nullptr;
const char* hdb__Unknown = nullptr;
