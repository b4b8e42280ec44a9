// Debug print of every field descriptor of an entity type.
#include "ddf/ddf_int.h"

extern "C" int32_t ddf_DbgDumpEntityFields(uint32_t /*options*/, int32_t tf) {
    if (tf == MVX_NULL_TF) return 0;
    const DDF_DICT* dict = ddf__Current;
    if (dict == nullptr) return ddfi::NullPointer();
    const int32_t tfi = ddfi::LookupTFI(tf);
    if (tfi < 0) return DDF_NOT_FOUND;
    const DDF_FIELD* d = ddfi::FirstField(dict, tfi);
    for (int32_t i = 0; i < ddfi::FieldCount(dict, tfi); ++i)
        ddfi::DumpField(&d[i]);
    return 0;
}
