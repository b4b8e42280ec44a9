#include "hdb/hdb_int.h"

extern "C" int32_t hdb__IsPtrHDB(const void* pointer) {
    if (pointer == nullptr) return 0;
    const auto* bytes = static_cast<const char*>(pointer);
    return bytes[-2] == 'U' && bytes[-1] == 'U' ? 1 : 0;
}
