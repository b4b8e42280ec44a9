// A field of a type given by TF, found by comparing names.
#include <cstring>

#include "ddf/ddf_int.h"

extern "C" int32_t ddf_GetFieldFromName(const char* name, int32_t tf, DDF_FIELD** field) {
    if (field != nullptr) *field = nullptr;
    const DDF_DICT* dict = ddf__Current;
    if (dict == nullptr || name == nullptr || field == nullptr) return ddfi::NullPointer();
    const int32_t tfi = ddfi::LookupTFI(tf);
    if (tfi < 0) return DDF_NOT_FOUND;
    DDF_FIELD* d = ddfi::FirstField(dict, tfi);
    for (int32_t i = 0; i < ddfi::FieldCount(dict, tfi); ++i) {
        if (d[i].name >= 0 && std::strcmp(dict->fld_names[d[i].name], name) == 0) {
            *field = &d[i];
            return 0;
        }
    }
    return DDF_NOT_FOUND;
}
