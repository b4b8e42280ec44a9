/* DDF module internals. */
#ifndef MVX_DDF_INT_H
#define MVX_DDF_INT_H

#include <cstddef>

#include "mvx/ddf.h"

/* The module's descriptor, copied into the registry by ddf_Initialize. */
extern const MVX_MODULE ddf_Module;

// The dictionary header is stored in the file byte for byte, so the layout
// of the types below is fixed; every offset is pinned.
static_assert(sizeof(DDF_FILEHDR) == 36);
static_assert(offsetof(DDF_FILEHDR, version) == 32);
static_assert(offsetof(DDF_FILEHDR, sections) == 34);
static_assert(sizeof(DDF_SECTHDR) == 36);
static_assert(offsetof(DDF_SECTHDR, size) == 32);
static_assert(sizeof(DDF_VDESC) == 16);
static_assert(offsetof(DDF_VDESC, name) == 8);
static_assert(sizeof(DDF_DIMEXPR) == 6);
static_assert(offsetof(DDF_DIMEXPR, op) == 4);

static_assert(sizeof(DDF_FIELD) == 60);
static_assert(offsetof(DDF_FIELD, modifiers) == 4);
static_assert(offsetof(DDF_FIELD, name) == 8);
static_assert(offsetof(DDF_FIELD, desc) == 10);
static_assert(offsetof(DDF_FIELD, let) == 12);
static_assert(offsetof(DDF_FIELD, aux) == 14);
static_assert(offsetof(DDF_FIELD, ref_count) == 16);
static_assert(offsetof(DDF_FIELD, ref_first) == 18);
static_assert(offsetof(DDF_FIELD, key) == 20);
static_assert(offsetof(DDF_FIELD, type) == 22);
static_assert(offsetof(DDF_FIELD, number) == 23);
static_assert(offsetof(DDF_FIELD, flags) == 24);
static_assert(offsetof(DDF_FIELD, vdesc_count) == 26);
static_assert(offsetof(DDF_FIELD, dim_count) == 27);
static_assert(offsetof(DDF_FIELD, gap) == 28);
static_assert(offsetof(DDF_FIELD, dims) == 30);

static_assert(sizeof(DDF_DICT) == 392);
static_assert(offsetof(DDF_DICT, version) == 128);
static_assert(offsetof(DDF_DICT, revision) == 132);
static_assert(offsetof(DDF_DICT, attr_count) == 136);
static_assert(offsetof(DDF_DICT, attr_names) == 144);
static_assert(offsetof(DDF_DICT, attr_masks) == 152);
static_assert(offsetof(DDF_DICT, ptr_name_count) == 160);
static_assert(offsetof(DDF_DICT, ptr_data) == 168);
static_assert(offsetof(DDF_DICT, ptr_names) == 176);
static_assert(offsetof(DDF_DICT, ptr_counts) == 184);
static_assert(offsetof(DDF_DICT, ptr_indices) == 192);
static_assert(offsetof(DDF_DICT, vdesc_count) == 200);
static_assert(offsetof(DDF_DICT, vdescs) == 208);
static_assert(offsetof(DDF_DICT, opcodes) == 224);
static_assert(offsetof(DDF_DICT, type_count) == 240);
static_assert(offsetof(DDF_DICT, typeforms) == 248);
static_assert(offsetof(DDF_DICT, fld_name_count) == 256);
static_assert(offsetof(DDF_DICT, fld_names) == 264);
static_assert(offsetof(DDF_DICT, fld_desc_count) == 272);
static_assert(offsetof(DDF_DICT, fld_descs) == 280);
static_assert(offsetof(DDF_DICT, fld_data) == 288);
static_assert(offsetof(DDF_DICT, fld_indices) == 296);
static_assert(offsetof(DDF_DICT, ent_names) == 304);
static_assert(offsetof(DDF_DICT, ent_fldcnts) == 312);
static_assert(offsetof(DDF_DICT, ent_descs) == 320);
static_assert(offsetof(DDF_DICT, ent_uattrs) == 328);
static_assert(offsetof(DDF_DICT, ent_sizes) == 336);
static_assert(offsetof(DDF_DICT, ent_info) == 344);
static_assert(offsetof(DDF_DICT, subent_tfis) == 360);
static_assert(offsetof(DDF_DICT, sub_super_data) == 368);
static_assert(offsetof(DDF_DICT, supertype_tfs) == 376);
static_assert(offsetof(DDF_DICT, subtype_tfs) == 384);

static_assert(sizeof(DDF_SECTION) == 16);
static_assert(sizeof(DDF_FLDTYPE) == 24);

static_assert(sizeof(DDF_LETOP) == 6);
static_assert(offsetof(DDF_LETOP, dest) == 4);
static_assert(offsetof(DDF_LETOP, op) == 5);

// Helpers shared by the query operations (ddf_query.cpp).
namespace ddfi {

// How many descriptors fld_data and how many instructions opcodes hold.
struct Extent {
    int64_t fields = 0;
    int64_t opcodes = 0;
};

// Remembers the extents of a dictionary that ddf_LoadDDF is about to hand
// out, with a copy of its header, replacing what an earlier dictionary at
// the same address left. Returns false when memory ran out (nothing is
// recorded then).
bool RecordExtent(const DDF_DICT* dict, int64_t fields, int64_t opcodes);

// The recorded extents of dict while its header is still the recorded one;
// for a dictionary that the loader did not record (or whose header
// changed: the record is then dropped), fld_data ends after the last
// descriptor of any type's run and opcodes is empty.
Extent ExtentOf(const DDF_DICT* dict);

// Whether field is one of dict's descriptors: inside fld_data, on a
// descriptor boundary.
bool IsFieldOf(const DDF_DICT* dict, const DDF_FIELD* field);

// The TFI of tf in ddf__Current through the ddf__SavedTF/ddf__SavedTFI
// cache, or -1. ddf__Current must not be null.
int32_t LookupTFI(int32_t tf);

// Reports and returns the status for a query on field: DDF_NULL_MEMPTR
// with no current dictionary or a null field, DDF_INVALID_ARG for a field
// that is not ddf__Current's; 0 when the field may be read.
int32_t CheckField(const DDF_FIELD* field);

// Report DDF_NULL_MEMPTR / DDF_NOT_UNION_TYPE and return it.
int32_t NullPointer();
int32_t NotUnion();

// Resolves an operand: a literal, or the value of a count slot. False
// when the slot is outside the table (or there is no table).
bool Operand(int16_t operand, int32_t* value);

// Prints a descriptor of ddf__Current as ddf_DbgDumpField does.
void DumpField(const DDF_FIELD* field);

// a op b for the operation letters 'f', 'g', 'h', 'i', computed in 64 bits
// and kept modulo 2^32 (two's complement).
enum class Arith { kOk, kUnknownOp, kDivideByZero };
Arith Arithmetic(char op, int32_t a, int32_t b, int32_t* result);

// The first descriptor of a type and the number of them.
inline DDF_FIELD* FirstField(const DDF_DICT* dict, int32_t tfi) {
    return dict->fld_data + dict->fld_indices[tfi];
}
inline int32_t FieldCount(const DDF_DICT* dict, int32_t tfi) {
    return dict->ent_fldcnts[tfi];
}

// Checks that field is a union of ddf__Current and walks its members (see
// ddf_GetUnionTypeByName): matches(candidate) picks the member. Reports
// like CheckField, and DDF_NOT_UNION_TYPE for a field that is no union.
template <typename Match>
int32_t FindUnionMember(const DDF_FIELD* field, int32_t* index, Match matches) {
    if (index != nullptr) *index = -1;
    int32_t rc = CheckField(field);
    if (rc != 0) return rc;
    if (index == nullptr) return NullPointer();
    if (field->type != DDF_STRUCT || (field->flags & DDF_UNION) == 0) return NotUnion();
    const DDF_FIELD* end = ddf__Current->fld_data + ExtentOf(ddf__Current).fields;
    int32_t depth = 1;
    for (const DDF_FIELD* d = field + 1; d < end && d->type != DDF_ENDENT; ++d) {
        if (d->type == DDF_ENDSTRUCT) {
            if (--depth < 1) break;
            continue;
        }
        if (matches(*d)) {
            *index = int32_t{d->number} - int32_t{field->number} - 1;
            return 0;
        }
        if (d->type == DDF_STRUCT) ++depth;
    }
    return DDF_NOT_FOUND;
}

} // namespace ddfi

#endif
