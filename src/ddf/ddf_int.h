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

#endif
