#include <cstdlib>
#include <cstring>

#include "mvx/mpm.h"
#include "ugn/ugn_int.h"

extern "C" int32_t ugn_SetEnvAlias(uint32_t /*options*/, const char* name, const char* alias) {
    if (name == nullptr || ugn__EnvAliases == nullptr)
        return mpm__SetError(0, UGN_ENVALIAS_ERR, MPM_ERROR);
    if (std::strlen(name) > UGN_ENV_NAME_MAX ||
        (alias != nullptr && std::strlen(alias) > UGN_ENV_NAME_MAX))
        return mpm__SetError(0, UGN_ENV_VAR_TOO_LONG, MPM_ERROR);

    // The key is copied: name may be the entry's own name, which the removal frees.
    char key[UGN_ENV_NAME_MAX + 1];
    std::strcpy(key, name);
    auto* entry = static_cast<UGN_ENVALIAS*>(otm_GetObject(OTM_QUIET, ugn__EnvAliases, key));
    if (alias == nullptr) {
        // Forget the variable: its alias and its stored value go together.
        if (entry != nullptr) {
            std::free(entry->value);
            entry->value = nullptr;
            otm_RemoveObject(0, ugn__EnvAliases, key);
        }
        return 0;
    }
    if (entry == nullptr) {
        UGN_ENVALIAS fresh{};
        std::strcpy(fresh.name, key);
        entry = static_cast<UGN_ENVALIAS*>(otm_AddObject(0, ugn__EnvAliases, &fresh));
        if (entry == nullptr) return mpm__SetError(0, UGN_ENVALIAS_ERR, MPM_ERROR);
    }
    std::memmove(entry->alias, alias, std::strlen(alias) + 1); // alias may be entry->alias
    return 0;
}
