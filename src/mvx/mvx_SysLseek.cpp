#include <cerrno>

#include "mvx/mvx.h"

// The library does its own file access; this hook of a platform file layer
// only reports failure.
extern "C" int32_t mvx_SysLseek(int32_t /*fd*/, int32_t /*offset*/, int32_t /*origin*/) {
    errno = -1;
    return -1;
}
