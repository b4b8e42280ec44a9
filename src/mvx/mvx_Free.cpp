#include <cstdlib>

#include "mvx/mvx.h"

extern "C" int32_t mvx_Free(uint32_t /*options*/, void* pointer) {
    std::free(pointer);
    return 0;
}
