#include "hdb/hdb_int.h"

extern "C" int32_t hdb__ValidatePtr(const char* file, int32_t line, const char* name, const void* pointer) {
    if (hdb__IsPtrHDB(pointer)) return 1;
    std::fprintf(hdb__Output, "%s at %s(%d) Rqst %ld: Corrupt block at %p (or bad ptr)\n", hdb::Name(name),
                 hdb::Name(file), line, static_cast<long>(hdb__Rqst), pointer);
    hdb_Error();
    return 0;
}
