// The module's exported variables.
#include <cstddef>

#include "ddf/ddf_int.h"

extern "C" {

DDF_DICT* ddf__Current = nullptr;
DDF_DICT* ddf__TempDDF = nullptr;
int32_t ddf__SavedTF = MVX_NULL_TF;
int32_t ddf__SavedTFI = 0;
int32_t* ddf__Counters = nullptr;
uint8_t ddf__NoMatchLvl[32] = {};

// Relocation kind k is entry k - 1; the loader relies on this order.
const DDF_SECTION ddf__Sections[DDF_SECTION_COUNT + 1] = {
    {"attr_names", 1, offsetof(DDF_DICT, attr_names)},
    {"attr_masks", 2, offsetof(DDF_DICT, attr_masks)},
    {"ptr_data", 3, offsetof(DDF_DICT, ptr_data)},
    {"ptr_names", 4, offsetof(DDF_DICT, ptr_names)},
    {"ptr_counts", 5, offsetof(DDF_DICT, ptr_counts)},
    {"ptr_indices", 6, offsetof(DDF_DICT, ptr_indices)},
    {"vdescs", 7, offsetof(DDF_DICT, vdescs)},
    {"opcodes", 8, offsetof(DDF_DICT, opcodes)},
    {"typeforms", 9, offsetof(DDF_DICT, typeforms)},
    {"fld_names", 10, offsetof(DDF_DICT, fld_names)},
    {"fld_descs", 11, offsetof(DDF_DICT, fld_descs)},
    {"fld_data", 12, offsetof(DDF_DICT, fld_data)},
    {"fld_indices", 13, offsetof(DDF_DICT, fld_indices)},
    {"ent_names", 14, offsetof(DDF_DICT, ent_names)},
    {"ent_fldcnts", 15, offsetof(DDF_DICT, ent_fldcnts)},
    {"ent_descs", 16, offsetof(DDF_DICT, ent_descs)},
    {"ent_uattrs", 17, offsetof(DDF_DICT, ent_uattrs)},
    {"ent_sizes", 18, offsetof(DDF_DICT, ent_sizes)},
    {"ent_info", 19, offsetof(DDF_DICT, ent_info)},
    {"subent_tfis", 20, offsetof(DDF_DICT, subent_tfis)},
    {"sub_super_data", 21, offsetof(DDF_DICT, sub_super_data)},
    {"supertype_tfs", 22, offsetof(DDF_DICT, supertype_tfs)},
    {"subtype_tfs", 23, offsetof(DDF_DICT, subtype_tfs)},
    {nullptr, 0, 0},
};

const DDF_FLDTYPE ddf__FldData[DDF_FIELD_TYPES] = {
    {"", "", 0, 0},
    {"short", "short     ", 2, 8},
    {"int", "int       ", 4, 8},
    {"long", "long      ", 4, 8},
    {"float", "float     ", 4, 8},
    {"double", "double    ", 8, 8},
    {"char ", "char      ", 1, 8},
    {"fstring", "char      ", 1, 8},
    {"vstring", "char      ", 8, 8},
    {"ptr", "MDA_PTR   ", 8, 8},
    {"count", "MDA_COUNT ", 4, 0},
    {"struct", "struct    ", 0, 0},
    {"endstruct", "} ", 0, 0},
    {"let", "MDA_COUNT ", 4, 0},
    {"union", "", 2, 0},
    {"endunion", "", 0, 0},
    {"subent", "", 0, 0},
    {"derived", "", 0, 0},
    {"method", "int     (*", 8, 0},
    {"endent", "", 0, 0},
};

const double ddf__DefaultMap[5] = {0.0, 1.0, 3.14159265358979323846, 1.57079632679489661923,
                                   0.78539816339744830962};

} // extern "C"
