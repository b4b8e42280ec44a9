#include <cstdlib>
#include <cstring>

#include "common/common_alloc.h"
#include "mvx/mpm.h"
#include "ugn/ugn_int.h"

extern "C" int32_t ugn_SetEnv(uint32_t /*options*/, const char* name, const char* value) {
    if (name == nullptr || ugn__EnvAliases == nullptr)
        return mpm__SetError(0, UGN_ENVALIAS_ERR, MPM_ERROR);
    if (std::strlen(name) > UGN_ENV_NAME_MAX)
        return mpm__SetError(0, UGN_ENV_VAR_TOO_LONG, MPM_ERROR);

    // The copy comes first, so that a failure leaves the table untouched.
    char* copy = nullptr;
    if (value != nullptr) {
        copy = mvxc::StrDup(value);
        if (copy == nullptr) return mpm__SetError(0, UGN_MALLOC_ERR, MPM_ERROR);
    }
    auto* entry = static_cast<UGN_ENVALIAS*>(otm_GetObject(OTM_QUIET, ugn__EnvAliases, name));
    if (entry == nullptr) {
        UGN_ENVALIAS fresh{};
        std::strcpy(fresh.name, name);
        entry = static_cast<UGN_ENVALIAS*>(otm_AddObject(0, ugn__EnvAliases, &fresh));
        if (entry == nullptr) {
            std::free(copy);
            return mpm__SetError(0, UGN_ENVALIAS_ERR, MPM_ERROR);
        }
    }
    std::free(entry->value);
    entry->value = copy;
    return 0;
}
