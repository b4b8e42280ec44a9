#include "mpm/mpm_int.h"

extern "C" int32_t mpm_GetMessage(uint32_t options, int32_t code, char** text, ...) {
    va_list args;
    va_start(args, text);
    mpm__GetMessage(options, code, text, args);
    va_end(args);
    return 0;
}
