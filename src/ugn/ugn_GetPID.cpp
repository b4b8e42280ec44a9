#include <unistd.h>

#include "ugn/ugn_int.h"

extern "C" int32_t ugn_GetPID(void) {
    if (ugn_FixedPid != 0) return ugn_FixedPid;
    return static_cast<int32_t>(getpid());
}
