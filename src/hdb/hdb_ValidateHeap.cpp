#include "hdb/hdb_int.h"

extern "C" int32_t hdb_ValidateHeap(void) {
    return hdb__Rqst == 0 ? 1 : hdb__ValidateHeap(nullptr, 0, nullptr);
}
