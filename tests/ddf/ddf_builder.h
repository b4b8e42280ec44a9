// Test helper: assembles binary dictionary files byte by byte, so that the
// loader's tests can write valid dictionaries and precise corruptions of
// them without any compiler.
//
// A DdfImage is a file header, a 392-byte dictionary header and a list of
// sections; Bytes() lays them out and pads to whole 32768-byte pages.
// Build() fills an image from a compact description of entity types.
#ifndef MVX_TEST_DDF_BUILDER_H
#define MVX_TEST_DDF_BUILDER_H

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "mvx/ddf.h"

namespace ddftest {

using Bytes = std::vector<uint8_t>;

template <typename T> void Put(Bytes& out, std::size_t at, const T& value) {
    if (out.size() < at + sizeof value) out.resize(at + sizeof value);
    std::memcpy(out.data() + at, &value, sizeof value);
}
template <typename T> void Append(Bytes& out, const T& value) {
    Put(out, out.size(), value);
}
template <typename T> T Get(const Bytes& in, std::size_t at) {
    T value{};
    std::memcpy(&value, in.data() + at, sizeof value);
    return value;
}

struct Section {
    std::string name;
    Bytes data;
};

struct DdfImage {
    std::string magic = DDF_MAGIC;
    int16_t version = DDF_FILE_VERSION;
    int16_t section_count = -1; // -1: the number of sections in the list
    DDF_DICT header{};          // pointer fields carry whatever the test puts there
    std::vector<Section> sections;

    Section* Find(const std::string& name) {
        for (auto& s : sections)
            if (s.name == name) return &s;
        return nullptr;
    }
    void Remove(const std::string& name) {
        std::erase_if(sections, [&](const Section& s) { return s.name == name; });
    }
    // The file: headers, sections, then zeros up to whole pages.
    Bytes File(bool pad = true) const {
        Bytes out(32, 0);
        std::memcpy(out.data(), magic.data(), std::min<std::size_t>(magic.size(), 32));
        Append(out, version);
        Append(out, section_count != -1 ? section_count : static_cast<int16_t>(sections.size()));
        Append(out, header);
        for (const auto& s : sections) {
            DDF_SECTHDR sh{};
            std::memcpy(sh.name, s.name.data(), std::min<std::size_t>(s.name.size(), 32));
            sh.size = static_cast<int32_t>(s.data.size());
            Append(out, sh);
            out.insert(out.end(), s.data.begin(), s.data.end());
        }
        if (pad) out.resize((out.size() + DDF_PAGE_SIZE - 1) / DDF_PAGE_SIZE * DDF_PAGE_SIZE, 0);
        return out;
    }
};

// A section of strings: count 8-byte offsets, then the strings.
inline Bytes StringSection(const std::vector<std::string>& strings) {
    Bytes out(strings.size() * 8, 0);
    for (std::size_t i = 0; i < strings.size(); ++i) {
        Put<uint64_t>(out, i * 8, out.size());
        out.insert(out.end(), strings[i].begin(), strings[i].end());
        out.push_back(0);
    }
    return out;
}

struct FieldSpec {
    FieldSpec(uint8_t type_, std::string name_, std::string desc_, int16_t key_ = 0,
              std::vector<int32_t> refs_ = {},
              std::vector<std::pair<int32_t, std::string>> values_ = {})
        : type(type_), name(std::move(name_)), desc(std::move(desc_)), key(key_),
          refs(std::move(refs_)), values(std::move(values_)) {}
    // Settings beyond the constructor's, chained: FieldSpec(...).Flags(..).
    FieldSpec& Flags(uint16_t f) { return flags = f, *this; }
    FieldSpec& Modifiers(uint32_t m) { return modifiers = m, *this; }
    FieldSpec& Dims(std::vector<DDF_DIMEXPR> d) { return dims = std::move(d), *this; }
    FieldSpec& Gap(int8_t g) { return gap = g, *this; }
    FieldSpec& Aux(uint16_t a) { return aux = a, *this; } // struct, subent
    FieldSpec& Let(uint16_t l) { return let = l, *this; }
    uint8_t type;
    std::string name; // empty: unnamed
    std::string desc;
    int16_t key;
    std::vector<int32_t> refs;                           // reference list
    std::vector<std::pair<int32_t, std::string>> values; // value descriptions
    uint16_t flags = 0;
    uint32_t modifiers = 0;
    std::vector<DDF_DIMEXPR> dims; // at most 5
    int8_t gap = 0;
    uint16_t aux = 0;
    uint16_t let = 0;
};

struct TypeSpec {
    int32_t tf;
    std::string name;
    std::string desc;
    uint16_t size;
    uint8_t info;
    std::vector<FieldSpec> fields; // an endent descriptor is appended
};

// Builds a complete dictionary: all 23 sections, in table order. Types
// must come with ascending TFs. The sections the library does not read get
// a few recognisable bytes; the reserved header bytes are filled with 0xA5.
// opcodes: the let instructions; empty gives a single 'd'.
inline DdfImage Build(const std::string& name, const std::vector<TypeSpec>& types,
                      const std::vector<DDF_LETOP>& opcodes = {}) {
    DdfImage image;
    DDF_DICT& h = image.header;
    std::memset(&h, 0xA5, sizeof h);
    std::memset(h.name, 0, sizeof h.name);
    std::memcpy(h.name, name.data(), std::min<std::size_t>(name.size(), 127));
    h.version = 3;
    h.revision = 7;

    std::vector<std::string> fld_names, fld_descs;
    for (const auto& t : types)
        for (const auto& f : t.fields)
            if (!f.name.empty()) fld_names.push_back(f.name);
    std::sort(fld_names.begin(), fld_names.end());
    fld_names.erase(std::unique(fld_names.begin(), fld_names.end()), fld_names.end());

    Bytes typeforms, fldcnts, indices, sizes, info, fld_data, ptr_data, vdescs, vdesc_strings;
    std::vector<std::string> vdesc_names, ent_names, ent_descs;
    int16_t first = 0;
    for (const auto& t : types) {
        Append(typeforms, t.tf);
        Append(indices, first);
        Append(sizes, t.size);
        Append(info, t.info);
        ent_names.push_back(t.name);
        ent_descs.push_back(t.desc);
        std::vector<FieldSpec> fields = t.fields;
        fields.push_back(FieldSpec{DDF_ENDENT, "", ""});
        Append(fldcnts, static_cast<int16_t>(fields.size()));
        first = static_cast<int16_t>(first + fields.size());
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const FieldSpec& f = fields[i];
            DDF_FIELD d{};
            d.type = f.type;
            d.number = static_cast<uint8_t>(i);
            d.key = f.key;
            d.name = -1;
            d.desc = -1;
            if (!f.name.empty()) {
                d.name = static_cast<int16_t>(
                    std::find(fld_names.begin(), fld_names.end(), f.name) - fld_names.begin());
                d.desc = static_cast<int16_t>(fld_descs.size());
                fld_descs.push_back(f.desc);
            }
            d.flags = f.flags;
            d.modifiers = f.modifiers;
            d.gap = f.gap;
            d.aux = f.aux;
            d.let = f.let;
            d.dim_count = static_cast<uint8_t>(f.dims.size());
            std::copy(f.dims.begin(), f.dims.end(), d.dims);
            d.ref_count = static_cast<uint16_t>(f.refs.size());
            d.ref_first = static_cast<uint16_t>(ptr_data.size() / 4);
            for (int32_t tf : f.refs)
                Append(ptr_data, tf);
            if (!f.values.empty()) {
                d.vdesc_count = static_cast<uint8_t>(f.values.size());
                d.aux = static_cast<uint16_t>(vdesc_names.size());
                for (const auto& [value, text] : f.values) {
                    Append(vdescs, value);
                    Append(vdescs, int32_t{0});
                    Append(vdescs, uint64_t{0}); // offset, filled below
                    vdesc_names.push_back(text);
                }
            }
            Append(fld_data, d);
        }
    }
    // vdescs: the records, then their names.
    for (std::size_t i = 0; i < vdesc_names.size(); ++i) {
        Put<uint64_t>(vdescs, i * 16 + 8, vdescs.size());
        vdescs.insert(vdescs.end(), vdesc_names[i].begin(), vdesc_names[i].end());
        vdescs.push_back(0);
    }
    h.attr_count = 2;
    h.ptr_name_count = 1;
    h.vdesc_count = static_cast<int32_t>(vdesc_names.size());
    h.type_count = static_cast<int32_t>(types.size());
    h.fld_name_count = static_cast<int32_t>(fld_names.size());
    h.fld_desc_count = static_cast<int32_t>(fld_descs.size());

    const Bytes opaque = {1, 2, 3, 4, 5, 6};
    image.sections = {
        {"attr_names", StringSection({"colour", "layer"})},
        {"attr_masks", opaque},
        {"ptr_data", ptr_data},
        {"ptr_names", StringSection({"curves"})},
        {"ptr_counts", opaque},
        {"ptr_indices", opaque},
        {"vdescs", vdescs},
        {"opcodes", opcodes.empty()
                        ? Bytes{0, 0, 0, 0, 0, 'd'}
                        : Bytes(reinterpret_cast<const uint8_t*>(opcodes.data()),
                                reinterpret_cast<const uint8_t*>(opcodes.data() + opcodes.size()))},
        {"typeforms", typeforms},
        {"fld_names", StringSection(fld_names)},
        {"fld_descs", StringSection(fld_descs)},
        {"fld_data", fld_data},
        {"fld_indices", indices},
        {"ent_names", StringSection(ent_names)},
        {"ent_fldcnts", fldcnts},
        {"ent_descs", StringSection(ent_descs)},
        {"ent_uattrs", opaque},
        {"ent_sizes", sizes},
        {"ent_info", info},
        {"subent_tfis", Bytes{0, 0}},
        {"sub_super_data", opaque},
        {"supertype_tfs", opaque},
        {"subtype_tfs", opaque},
    };
    return image;
}

// The sample dictionary of the tests: a point and a line with fields of
// several types, names, descriptions, defaults, value descriptions and a
// reference list.
inline DdfImage Sample() {
    return Build("sample dictionary",
                 {
                     {MVX_TF(100, 0),
                      "point",
                      "a point in space",
                      48,
                      0,
                      {{DDF_DOUBLE, "x", "x coordinate", 51},
                       {DDF_DOUBLE, "y", "y coordinate", 52},
                       {DDF_SHORT, "style", "drawing style", 2, {}, {{1, "solid"}, {2, "dashed"}}},
                       {DDF_VSTRING, "label", "free text"}}},
                     {MVX_TF(110, 1),
                      "line",
                      "a line between two points",
                      40,
                      DDF_INFO_HAS_PTRS,
                      {{DDF_PTR, "start", "first point", 0, {MVX_TF(100, 0)}},
                       {DDF_PTR, "end", "second point", 0, {MVX_TF(100, 0), MVX_TF(110, 1)}},
                       {DDF_INT, "style", "drawing style", -1}}},
                 });
}

} // namespace ddftest

#endif
