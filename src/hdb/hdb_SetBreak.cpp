#include "hdb/hdb_int.h"

extern "C" void hdb_SetBreak(uint32_t request) {
    if (request != 0) hdb__BreakRqst = request;
}
