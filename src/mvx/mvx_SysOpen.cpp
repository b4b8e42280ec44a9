#include <cerrno>

#include "mvx/mvx.h"

// The library does its own file access; this hook of a platform file layer
// only reports failure.
extern "C" int32_t mvx_SysOpen(const char* /*path*/, int32_t /*flags*/, int32_t /*mode*/) {
    errno = -1;
    return -1;
}
