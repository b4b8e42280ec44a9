#include <cstdlib>

#include "hdb/hdb_int.h"

extern "C" void* hdb__Realloc(const char* /*file*/, int32_t /*line*/, void* pointer, size_t size) {
    return std::realloc(pointer, size);
}
