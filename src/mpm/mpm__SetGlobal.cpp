#include "mpm/mpm_int.h"

extern "C" int32_t mpm__SetGlobal(uint32_t /*options*/, int32_t code, int32_t severity) {
    mpm__LastError = code;
    mpm__LastErrorLevel = severity;
    return 0;
}
