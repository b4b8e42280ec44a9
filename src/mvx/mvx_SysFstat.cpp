#include <cerrno>

#include "mvx/mvx.h"

// The library does its own file access; this hook of a platform file layer
// only reports failure.
extern "C" int32_t mvx_SysFstat(int32_t /*fd*/, void* /*status*/) {
    errno = -1;
    return -1;
}
