#include <cstdio>

#include "mpm/mpm_int.h"

extern "C" int32_t mpm_CloseLog(uint32_t options) {
    if (mpm__Stream == nullptr) return 0;
    FILE* log = mpm__Stream;
    mpm__Stream = nullptr;
    if (std::fclose(log) != 0) {
        return mpm__SetError((options | mpm__Option) & ~static_cast<uint32_t>(MPM_TAGGED),
                             MPM_CLOSEERROR, MPM_ERROR);
    }
    return 0;
}
