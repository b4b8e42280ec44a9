// A field name's index in fld_names, by binary search in byte order.
#include <cstring>

#include "ddf/ddf_int.h"

extern "C" int32_t ddf_MakeFieldNum(const char* name, int32_t* index) {
    if (index != nullptr) *index = -1;
    const DDF_DICT* dict = ddf__Current;
    if (dict == nullptr || name == nullptr || index == nullptr) return ddfi::NullPointer();
    int32_t low = 0;
    int32_t high = dict->fld_names != nullptr ? dict->fld_name_count - 1 : -1;
    while (low <= high) {
        const int32_t mid = low + (high - low) / 2;
        const int order = std::strcmp(name, dict->fld_names[mid]);
        if (order == 0) {
            *index = mid;
            return 0;
        }
        if (order > 0) {
            low = mid + 1;
        } else {
            high = mid - 1;
        }
    }
    return DDF_NOT_FOUND;
}
