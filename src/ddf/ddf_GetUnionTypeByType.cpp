// A union member found by its field type.
#include "ddf/ddf_int.h"

extern "C" int32_t ddf_GetUnionTypeByType(const DDF_FIELD* field, int32_t type, int32_t* index) {
    return ddfi::FindUnionMember(field, index, [type](const DDF_FIELD& d) {
        if (type == DDF_UNIONTYPE) return d.type == DDF_STRUCT && (d.flags & DDF_UNION) != 0;
        return d.type == type; // DDF_STRUCT: any struct, a union among them
    });
}
