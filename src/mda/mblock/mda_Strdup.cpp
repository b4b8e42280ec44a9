#include <cstring>

#include "mda/mda_int.h"
#include "mvx/mpm.h"

// The out pointer is the new block's referrer, so the block is allocated
// straight into it.
extern "C" int32_t mda_Strdup(uint32_t options, void* owner, const char* text, char** out) {
    if (text == nullptr || out == nullptr) return mpm__SetError(0, MDA_NULL_MEMPTR, MPM_ERROR);
    const size_t length = std::strlen(text);
    if (length >= INT32_MAX) return mpm__SetError(0, MDA_MALLOC_ERR, MPM_ERROR);
    if (int32_t status = mda_Malloc(options, owner, static_cast<int32_t>(length + 1),
                                    reinterpret_cast<void**>(out)))
        return status;
    std::memcpy(*out, text, length + 1);
    return 0;
}
