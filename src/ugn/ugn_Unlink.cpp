#include <unistd.h>

#include "ugn/ugn_int.h"

extern "C" int32_t ugn_Unlink(const char* path) {
    if (!ugn_IsUtf8(path)) return -1; // nothing is removed under a name that is not UTF-8
    return unlink(path);
}
