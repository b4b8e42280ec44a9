#include <cerrno>

#include "mvx/mvx.h"

// The library does its own file access; this hook of a platform file layer
// only reports failure.
extern "C" int32_t mvx_SysRead(int32_t /*fd*/, void* /*buffer*/, int32_t /*count*/) {
    errno = -1;
    return 0;
}
