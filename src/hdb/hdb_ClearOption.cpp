#include "hdb/hdb_int.h"

extern "C" void hdb_ClearOption(uint32_t bits) {
    hdb__Options &= ~bits;
}
