#include "hdb/hdb_int.h"

extern "C" void hdb_Break(const char* file, int32_t line, const char* name) {
    std::fprintf(hdb__Output, "%s at %s(%d) Rqst %ld: Heap breakpoint hit\n", hdb::Name(name), hdb::Name(file),
                 line, static_cast<long>(hdb__Rqst));
}
