#include <cstdlib>

#include "hdb/hdb_int.h"

extern "C" void hdb__Free(const char* /*file*/, int32_t /*line*/, void* pointer) {
    std::free(pointer);
}
