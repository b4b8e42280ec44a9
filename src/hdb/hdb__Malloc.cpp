#include <cstdlib>

#include "hdb/hdb_int.h"

extern "C" void* hdb__Malloc(uint32_t flags, const char* /*file*/, int32_t /*line*/, size_t size) {
    return (flags & 0x1) != 0 ? std::calloc(1, size) : std::malloc(size);
}
