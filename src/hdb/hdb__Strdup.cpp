#include <cstring>

#include "hdb/hdb_int.h"

extern "C" char* hdb__Strdup(const char* file, int32_t line, const char* string) {
    if (string == nullptr) {
        std::fprintf(hdb__Output, "strdup @%s(%d) Rqst %ld: NULL pointer passed\n", hdb::Name(file),
                     line, static_cast<long>(hdb__Rqst));
        hdb_Error();
        return nullptr;
    }
    const size_t length = std::strlen(string) + 1;
    auto* copy = static_cast<char*>(hdb__Malloc(2, file, line, length));
    if (copy != nullptr) std::memcpy(copy, string, length);
    return copy;
}
