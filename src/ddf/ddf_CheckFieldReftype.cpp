// Whether a reference field may refer to an entity of a given type.
#include "ddf/ddf_int.h"

extern "C" int32_t ddf_CheckFieldReftype(const DDF_FIELD* field, int32_t tf) {
    if (ddfi::CheckField(field) != 0) return 0;
    if ((field->flags & DDF_REFANY) != 0) return 1;
    if ((field->flags & DDF_REFNONE) != 0 && tf == MVX_NULL_TF) return 1;
    if (field->ref_count == 0) return 0;
    return ddf_FindTF(ddf__Current->ptr_data + field->ref_first, field->ref_count, tf) >= 0 ? 1 : 0;
}
