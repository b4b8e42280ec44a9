#include <fcntl.h>

#include "ugn/ugn_int.h"

extern "C" int32_t ugn_Open(const char* path, int32_t flags, int32_t mode) {
    if (!ugn_IsUtf8(path)) return -1;
    return open(path, flags, static_cast<mode_t>(mode));
}
