// A union member found by the last component of its qualified name.
#include <cstring>

#include "ddf/ddf_int.h"

namespace {
// The part of a qualified name after its last '.', or the whole name.
const char* LastPart(const char* name) {
    const char* dot = std::strrchr(name, '.');
    return dot != nullptr ? dot + 1 : name;
}
} // namespace

extern "C" int32_t ddf_GetUnionTypeByName(const DDF_FIELD* field, const char* name,
                                          int32_t* index) {
    if (name == nullptr) {
        if (index != nullptr) *index = -1;
        return ddfi::NullPointer();
    }
    const char* want = LastPart(name);
    const DDF_DICT* dict = ddf__Current;
    return ddfi::FindUnionMember(field, index, [&](const DDF_FIELD& d) {
        return d.name >= 0 && std::strcmp(LastPart(dict->fld_names[d.name]), want) == 0;
    });
}
