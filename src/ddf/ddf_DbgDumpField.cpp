// Debug print of one field descriptor.
#include <cstdio>

#include "ddf/ddf_int.h"

namespace {

const char* const kModifiers[] = {"ATTR",    "DEFAULT", "FUNCTION",  "RANGE",
                                  "REFTYPE", "LENGTH",  "MAXLENGTH", "METHOD"};
const char* const kFlags[] = {"ARRAY",  "FIXED",   "PTRFIXED", "VARIABLE",
                              "REFANY", "REFNONE", "UNION",    "UNSIZED"};

void Bits(const char* title, uint32_t bits, const char* const (&names)[8]) {
    std::printf("   %s:", title);
    for (int i = 0; i < 8; ++i) {
        if ((bits & (1u << i)) != 0) std::printf("  %s", names[i]);
    }
    std::printf("\n");
}

// What the type-dependent value at offset 20 means for a type.
const char* KeyLabel(uint8_t type) {
    switch (type) {
    case DDF_COUNT:
        return "# of referencing fields";
    case DDF_STRUCT:
        return "Structure size";
    case DDF_SUBENT:
        return "Subentity form";
    case DDF_DERIVED:
    case DDF_ENDENT:
        return "fld_methods index";
    default:
        return "Default value key";
    }
}

} // namespace

namespace ddfi {

// Prints a descriptor already known to be one of ddf__Current's.
void DumpField(const DDF_FIELD* field) {
    const DDF_DICT* dict = ddf__Current;
    const bool named = field->name >= 0;
    const char* name = named ? dict->fld_names[field->name] : "**Field not named**";
    const char* desc = named && field->desc >= 0 ? dict->fld_descs[field->desc] : "";
    // A type code beyond ddf__FldData has no name.
    const char* type = field->type < DDF_FIELD_TYPES ? ddf__FldData[field->type].name : "";
    std::printf("%s %s (\"%s\")\n   Address: %p\n", type, name, desc,
                static_cast<const void*>(field));
    Bits("Modifiers", field->modifiers, kModifiers);
    Bits("Flags", field->flags, kFlags);
    std::printf("   Field #: %d  NDims: %d   Offset: %d  %s:  %d\n", field->number,
                field->dim_count, field->gap, KeyLabel(field->type), field->key);
    if (field->type == DDF_STRUCT) std::printf("   # of fields to endstruct:  %d\n", field->aux);
    if (field->type == DDF_SUBENT) std::printf("   # of bytes in subent:  %d\n", field->aux);
}

} // namespace ddfi

extern "C" int32_t ddf_DbgDumpField(uint32_t /*options*/, const DDF_FIELD* field) {
    if (field == nullptr) return 0;
    const int32_t rc = ddfi::CheckField(field);
    if (rc != 0) return rc;
    ddfi::DumpField(field);
    return 0;
}
