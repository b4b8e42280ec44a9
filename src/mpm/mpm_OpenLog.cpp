#include <cstdio>

#include "mpm/mpm_int.h"
#include "mvx/ugn.h"

extern "C" int32_t mpm_OpenLog(uint32_t options, const char* name) {
    options |= mpm__Option;
    if (mpm__Stream != nullptr) mpm_CloseLog(options);
    FILE* log = name != nullptr ? ugn_Fopen(name, "wt") : nullptr;
    if (log == nullptr) {
        return mpm__SetError(options & ~static_cast<uint32_t>(MPM_TAGGED), MPM_OPENERROR, MPM_ERROR,
                             name != nullptr ? name : "(null)");
    }
    std::setvbuf(log, nullptr, _IONBF, 0);
    mpm__Stream = log;
    return 0;
}
