#include "mpm/mpm_int.h"

extern "C" int32_t mpm__FormatMessage(uint32_t options, char** text, va_list* args) {
    if (text == nullptr || *text == nullptr) return 0;
    if (!mpm_Format(options | mpm__Option, text, args)) {
        mpm_OutOfMemory();
        return MVX_EXC_MEMORY;
    }
    return 0;
}
