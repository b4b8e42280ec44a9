// The TFs of all forms of one entity type.
#include <cstring>

#include "common/common_alloc.h"
#include "ddf/ddf_int.h"
#include "mvx/mpm.h"

extern "C" int32_t ddf_ExpandForms(int32_t type, int32_t* count, int32_t** tfs) {
    if (count != nullptr) *count = 0;
    if (tfs != nullptr) *tfs = nullptr;
    const DDF_DICT* dict = ddf__Current;
    if (dict == nullptr || count == nullptr || tfs == nullptr) return ddfi::NullPointer();
    int32_t first = 0;
    while (first < dict->type_count && MVX_TF_TYPE(dict->typeforms[first]) != type)
        ++first;
    int32_t end = first;
    while (end < dict->type_count && MVX_TF_TYPE(dict->typeforms[end]) == type)
        ++end;
    if (end == first) return 0;
    const auto n = static_cast<std::size_t>(end - first);
    auto* array = static_cast<int32_t*>(mvxc::Malloc(n * sizeof(int32_t)));
    if (array == nullptr) return mpm__SetError(0, DDF_MALLOC_ERR, MPM_ERROR);
    std::memcpy(array, dict->typeforms + first, n * sizeof(int32_t));
    *count = end - first;
    *tfs = array;
    return 0;
}
