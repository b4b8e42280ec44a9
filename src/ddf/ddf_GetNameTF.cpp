// An entity type found by its name, whatever the case of the name given.
#include <cstring>

#include "ddf/ddf_int.h"
#include "mvx/ugn.h"

namespace {
// Stored names are lower case and at most this long.
constexpr std::size_t kMaxName = 127;
} // namespace

extern "C" int32_t ddf_GetNameTF(const char* name) {
    const DDF_DICT* dict = ddf__Current;
    if (dict == nullptr || name == nullptr) {
        ddfi::NullPointer();
        return MVX_NULL_TF;
    }
    char lower[kMaxName + 1];
    const std::size_t length = strnlen(name, kMaxName + 1);
    if (length > kMaxName) return MVX_NULL_TF;
    std::memcpy(lower, name, length + 1);
    ugn_GetLower(lower);
    for (int32_t tfi = 0; tfi < dict->type_count; ++tfi) {
        if (std::strcmp(dict->ent_names[tfi], lower) == 0) return dict->typeforms[tfi];
    }
    return MVX_NULL_TF;
}
