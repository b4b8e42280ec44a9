#include <cstdlib>
#include <cstring>

#include "ugn/ugn_int.h"

namespace {

// The entry of a name, or null.
UGN_ENVALIAS* Entry(const char* name) {
    if (ugn__EnvAliases == nullptr || std::strlen(name) > UGN_ENV_NAME_MAX) return nullptr;
    return static_cast<UGN_ENVALIAS*>(otm_GetObject(OTM_QUIET, ugn__EnvAliases, name));
}

// The value of one name: its stored value, else the environment's.
char* ValueOf(const char* name) {
    const UGN_ENVALIAS* entry = Entry(name);
    if (entry != nullptr && entry->value != nullptr) return entry->value;
    return std::getenv(name);
}

} // namespace

extern "C" int32_t ugn_GetEnv(uint32_t /*options*/, const char* name, char** value) {
    if (value == nullptr) return 0;
    *value = nullptr;
    if (name == nullptr) return 0;
    const UGN_ENVALIAS* entry = Entry(name);
    if (entry == nullptr) {
        *value = std::getenv(name);
        return 0;
    }
    // One level of aliasing: the alias's value, not its own alias's.
    if (entry->alias[0] != '\0') *value = ValueOf(entry->alias);
    if (*value == nullptr) *value = ValueOf(name);
    return 0;
}
