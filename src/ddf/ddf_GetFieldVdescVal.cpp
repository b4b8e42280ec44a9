// The name of a field's value description for one value.
#include "ddf/ddf_int.h"

extern "C" const char* ddf_GetFieldVdescVal(const DDF_FIELD* field, int32_t value) {
    if (ddfi::CheckField(field) != 0) return nullptr;
    if (field->vdesc_count == 0) return nullptr; // aux means something else then
    const DDF_VDESC* run = ddf__Current->vdescs + field->aux;
    for (int32_t i = 0; i < field->vdesc_count; ++i) {
        if (run[i].value == value) return run[i].name;
    }
    return nullptr;
}
