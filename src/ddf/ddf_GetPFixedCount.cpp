// The count field whose slot sizes an array field.
#include "ddf/ddf_int.h"
#include "mvx/mpm.h"

extern "C" int32_t ddf_GetPFixedCount(int32_t tf, const DDF_FIELD* array, DDF_FIELD** count) {
    if (count != nullptr) *count = nullptr;
    const int32_t rc = ddfi::CheckField(array);
    if (rc != 0) return rc;
    if (count == nullptr) return ddfi::NullPointer();
    const DDF_DICT* dict = ddf__Current;
    const int32_t tfi = ddfi::LookupTFI(tf);
    if (tfi >= 0) {
        DDF_FIELD* d = ddfi::FirstField(dict, tfi);
        for (int32_t i = 0; i < ddfi::FieldCount(dict, tfi) && d[i].type != DDF_ENDENT; ++i) {
            if (d[i].type == DDF_COUNT && d[i].dims[0].a == array->dims[0].a) {
                *count = &d[i];
                return 0;
            }
        }
    }
    return mpm__SetError(0, DDF_FIELD_NOT_FOUND, MPM_ERROR);
}
