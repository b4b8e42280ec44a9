// Laying out entity bodies and writing the binary dictionary.
//
// Layout. A body is the 24-byte entity header followed by the fields as a
// C compiler lays out the equivalent struct on a 64-bit target: each field
// at the next multiple of its alignment. Sizes and alignments: short 2;
// int, long, float, count, let 4; double 8; char and fstring 1 (an fstring
// is its length in bytes); vstring, ptr and every array held by pointer 8
// (alignment 8); an inline array is its elements; a structure is its
// members in order, aligned to its largest member and padded to a multiple
// of that; a union is a 16-bit selector followed, at the members' largest
// alignment, by the members all at one offset, padded likewise; a
// subentity is the fields of its type laid out the same way (without the
// header). Derived and method fields and the union markers hold no data.
// The body size is 24 plus the fields, rounded up to 8.
//
// Gaps, which let the field walk step from one value to the next:
//   - a value field: the bytes between its end and the next field's start;
//     the last member of a structure: the bytes up to the end of the
//     element, so that its members and their gaps make up one element; the
//     last field of an entity: 0; a member of a union: 0 (the walk goes on
//     at the union's end);
//   - a structure descriptor: 0; a union descriptor: the bytes between the
//     selector and its members;
//   - a structure's end descriptor: the bytes that follow the whole field
//     (all its inline elements, or its pointer) before the next field, by
//     the rules above.
//
// File. All 23 sections are written, in the order of ddf__Sections, each
// exactly as large as its contents (empty sections too), so the same
// dictionary always gives the same bytes. Entity types go in TF order and
// everything that the types own (descriptors, descriptions, value
// descriptions, reference lists, let instructions, subentity indexes) is
// appended while walking them in that order.
#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "ddfc_int.h"

namespace ddfc {
namespace {

uint32_t RoundUp(uint32_t v, uint32_t a) {
    return (v + a - 1) / a * a;
}

struct Measure {
    uint32_t size = 0;
    uint32_t align = 1;
};

// The data of one entity type, without its header.
struct TypeInfo {
    int state = 0; // 0 not measured, 1 being measured, 2 done
    Measure data;
    int nesting = 0; // the longest chain of subentities inside the type
};

class Encoder {
public:
    Encoder(const Dictionary& d, std::string_view file, std::vector<Diagnostic>* diags)
        : dict_(d), file_(file), diags_(diags) {}
    bool Run(std::vector<uint8_t>* image, std::vector<TypeLayout>* layouts);

private:
    bool Fail(Loc loc, const std::string& message) {
        diags_->push_back({std::string(file_), loc.line, loc.column, message});
        return false;
    }
    // Layout.
    bool TypeData(std::size_t index, int depth, Measure* out);
    bool FieldSize(const Field& f, int depth, Measure* out);
    bool Element(const Field& f, int depth, Measure* out, uint32_t* members_at);
    bool InlineCount(const Field& f, int64_t* count);
    bool Place(const std::vector<Field>& fs, bool is_union, uint32_t start, int depth,
               std::vector<uint32_t>* offsets, uint32_t* end, uint32_t* align);
    // Descriptors.
    bool EmitSeq(const std::vector<Field>& fs, uint32_t base, int kind, uint32_t elem_size,
                 uint32_t members_at, int depth);
    bool EmitField(const Field& f, uint32_t offset, int32_t gap, int depth);
    int16_t NameIndex(const Field& f) const;

    const Dictionary& dict_;
    std::string_view file_;
    std::vector<Diagnostic>* diags_;
    std::vector<std::size_t> order_; // entity indexes in TF order
    std::map<int32_t, std::size_t> by_tf_;
    std::vector<TypeInfo> info_;
    std::vector<std::string> names_; // sorted unique field names

    // Output being built.
    std::vector<DDF_FIELD> fields_;
    std::vector<int32_t> field_offsets_;
    std::vector<std::string> descs_;
    std::vector<std::pair<int32_t, std::string>> vdescs_;
    std::vector<int32_t> ptr_data_;
    std::vector<uint8_t> opcodes_;
    std::vector<uint16_t> subent_tfis_;
    std::map<std::size_t, uint16_t> subent_index_; // by TFI
    std::map<int32_t, std::size_t> tfi_of_;        // TF -> TFI
    std::size_t type_start_ = 0;                   // first descriptor of the type
    int nesting_ = 0; // deepest subentity chain met while measuring a type
};

bool Encoder::InlineCount(const Field& f, int64_t* count) {
    int64_t n = 1;
    for (std::size_t i = 0; i < ElementDims(f); ++i) {
        const Dim& d = f.dims[i];
        if (d.a < 0 || (d.op != 'e' && d.b < 0)) {
            return Fail(f.loc, "an inline array needs literal dimensions");
        }
        int64_t v = 0;
        switch (d.op) {
        case 'e':
            v = d.a;
            break;
        case 'f':
            v = d.a + d.b;
            break;
        case 'g':
            v = d.a - d.b;
            break;
        case 'h':
            v = int64_t{d.a} * d.b;
            break;
        case 'i':
            v = d.b == 0 ? 0 : d.a / d.b;
            break;
        default:
            return Fail(f.loc, "unknown dimension operation");
        }
        if (v < 1) return Fail(f.loc, "an inline array dimension must be at least 1");
        n *= v;
        if (n > 65535) return Fail(f.loc, "inline array larger than an entity body can be");
    }
    *count = n;
    return true;
}

// A structure's or union's element: size and alignment; *members_at is
// where the members start (0, or after a union's selector).
bool Encoder::Element(const Field& f, int depth, Measure* out, uint32_t* members_at) {
    const bool is_union = (f.flags & DDF_UNION) != 0;
    std::vector<uint32_t> offsets;
    uint32_t end = 0;
    uint32_t align = 1;
    // A first pass finds the members' alignment, which places a union's
    // members after its selector.
    if (!Place(f.members, is_union, 0, depth + 1, &offsets, &end, &align)) return false;
    uint32_t at = 0;
    if (is_union) {
        at = RoundUp(2, align);
        align = std::max<uint32_t>(align, 2);
        end += at;
    }
    out->align = align;
    out->size = RoundUp(end, align);
    *members_at = at;
    if (out->size > 32767) return Fail(f.loc, "structure larger than 32767 bytes");
    return true;
}

bool Encoder::FieldSize(const Field& f, int depth, Measure* out) {
    switch (f.type) {
    case DDF_DERIVED:
    case DDF_METHOD:
    case DDF_UNIONTYPE:
    case DDF_ENDUNION:
        *out = {0, 1};
        return true;
    case DDF_SUBENT: {
        auto it = by_tf_.find(f.subent_tf);
        if (it == by_tf_.end()) {
            return Fail(f.loc, "subentity type " + FormatTF(f.subent_tf) + " is not defined");
        }
        if (!TypeData(it->second, depth + 1, out)) return false;
        nesting_ = std::max(nesting_, info_[it->second].nesting + 1);
        if (out->size == 0) {
            return Fail(f.loc, "subentity type " + FormatTF(f.subent_tf) + " holds no data");
        }
        if (out->size > 65535) return Fail(f.loc, "subentity larger than 65535 bytes");
        return true;
    }
    default:
        break;
    }
    Measure elem;
    if (f.type == DDF_STRUCT) {
        uint32_t at = 0;
        if (!Element(f, depth, &elem, &at)) return false;
    } else if (f.type == DDF_FSTRING) {
        elem = {static_cast<uint32_t>(f.dims.back().a), 1};
    } else {
        const auto s = static_cast<uint32_t>(TypeSize(f.type));
        elem = {s, s};
    }
    if ((f.flags & DDF_ARRAY) == 0) {
        *out = elem;
    } else if (IsDynamic(f.flags)) {
        *out = {8, 8};
    } else {
        int64_t n = 0;
        if (!InlineCount(f, &n)) return false;
        if (n * elem.size > 65535)
            return Fail(f.loc, "inline array larger than an entity body can be");
        *out = {static_cast<uint32_t>(n * elem.size), elem.align};
    }
    return true;
}

bool Encoder::Place(const std::vector<Field>& fs, bool is_union, uint32_t start, int depth,
                    std::vector<uint32_t>* offsets, uint32_t* end, uint32_t* align) {
    uint32_t off = start;
    uint32_t top = start;
    *align = 1;
    offsets->clear();
    for (const Field& f : fs) {
        Measure m;
        if (!FieldSize(f, depth, &m)) return false;
        if (m.size == 0) {
            offsets->push_back(is_union ? start : off);
            continue;
        }
        const uint32_t at = is_union ? start : RoundUp(off, m.align);
        offsets->push_back(at);
        *align = std::max(*align, m.align);
        if (is_union) {
            top = std::max(top, at + m.size);
        } else {
            off = at + m.size;
            top = off;
        }
        if (top > 65535) return Fail(f.loc, "fields larger than an entity body can be");
    }
    *end = top;
    return true;
}

bool Encoder::TypeData(std::size_t index, int depth, Measure* out) {
    TypeInfo& ti = info_[index];
    const Entity& e = dict_.entities[index];
    if (ti.state == 1)
        return Fail(e.loc, "type " + FormatTF(e.tf) + " contains itself through subentities");
    if (depth > kMaxSubentDepth) return Fail(e.loc, "subentities nested more than 32 deep");
    if (ti.state == 0) {
        ti.state = 1;
        std::vector<uint32_t> offsets;
        uint32_t end = 0;
        uint32_t align = 1;
        // The nesting is the type's own, whatever depth it is measured at:
        // a type measured first on its own and embedded later keeps its
        // chain, so the limit holds in every order of the types.
        const int outer = nesting_;
        nesting_ = 0;
        if (!Place(e.fields, false, 0, depth, &offsets, &end, &align)) return false;
        ti.nesting = nesting_;
        nesting_ = outer;
        if (ti.nesting > kMaxSubentDepth)
            return Fail(e.loc, "subentities nested more than 32 deep");
        ti.data = {RoundUp(end, align), align};
        ti.state = 2;
    }
    *out = ti.data;
    return true;
}

int16_t Encoder::NameIndex(const Field& f) const {
    if (!f.named) return -1;
    auto it = std::lower_bound(names_.begin(), names_.end(), f.name);
    return static_cast<int16_t>(it - names_.begin());
}

bool Encoder::EmitField(const Field& f, uint32_t offset, int32_t gap, int depth) {
    if (fields_.size() - type_start_ >= static_cast<std::size_t>(kMaxDescriptors)) {
        return Fail(f.loc, "entity type with more than 256 field descriptors");
    }
    if (fields_.size() >= static_cast<std::size_t>(kMaxAllDescriptors))
        return Fail(f.loc, "more than 32767 field descriptors");
    DDF_FIELD d{};
    d.modifiers = f.modifiers;
    d.name = NameIndex(f);
    d.desc = -1;
    if (f.has_desc) {
        if (descs_.size() >= 32767) return Fail(f.loc, "more than 32767 field descriptions");
        d.desc = static_cast<int16_t>(descs_.size());
        descs_.push_back(f.desc);
    }
    d.type = f.type;
    d.number = static_cast<uint8_t>(fields_.size() - type_start_);
    d.flags = f.flags;
    d.gap = static_cast<int8_t>(gap);
    d.key = f.key;
    d.dim_count = static_cast<uint8_t>(f.dims.size());
    for (std::size_t i = 0; i < f.dims.size(); ++i) {
        d.dims[i].a = f.dims[i].a;
        d.dims[i].b = f.dims[i].b;
        d.dims[i].op = f.dims[i].op;
    }
    if (f.dims.size() < 5) std::memcpy(reinterpret_cast<uint8_t*>(&d) + 56, &f.release, 4);
    if (!f.vdescs.empty()) {
        if (vdescs_.size() + f.vdescs.size() > 65535)
            return Fail(f.loc, "more than 65535 value descriptions");
        d.aux = static_cast<uint16_t>(vdescs_.size());
        d.vdesc_count = static_cast<uint8_t>(f.vdescs.size());
        vdescs_.insert(vdescs_.end(), f.vdescs.begin(), f.vdescs.end());
    }
    if (!f.refs.empty()) {
        if (ptr_data_.size() + f.refs.size() > 65535)
            return Fail(f.loc, "more than 65535 reference-list entries");
        d.ref_first = static_cast<uint16_t>(ptr_data_.size());
        d.ref_count = static_cast<uint16_t>(f.refs.size());
        ptr_data_.insert(ptr_data_.end(), f.refs.begin(), f.refs.end());
    }
    if (f.type == DDF_LET) {
        if (opcodes_.size() / 6 + f.lets.size() + 1 > 65535)
            return Fail(f.loc, "more than 65535 let instructions");
        d.let = static_cast<uint16_t>(opcodes_.size() / 6);
        auto put = [this](int16_t a, int16_t b, int dest, char op) {
            uint8_t rec[6];
            std::memcpy(rec, &a, 2);
            std::memcpy(rec + 2, &b, 2);
            rec[4] = static_cast<uint8_t>(static_cast<int8_t>(-dest));
            rec[5] = static_cast<uint8_t>(op);
            opcodes_.insert(opcodes_.end(), rec, rec + 6);
        };
        for (const LetOp& op : f.lets)
            put(op.a, op.b, op.dest, op.op);
        put(0, 0, 0, 'd');
    }
    if (f.type == DDF_SUBENT) {
        Measure m;
        if (!FieldSize(f, depth, &m)) return false;
        d.aux = static_cast<uint16_t>(m.size);
        const std::size_t tfi = tfi_of_.at(f.subent_tf);
        auto it = subent_index_.find(tfi);
        if (it == subent_index_.end()) {
            if (subent_tfis_.size() >= 32767) return Fail(f.loc, "more than 32767 subentity types");
            it = subent_index_.emplace(tfi, static_cast<uint16_t>(subent_tfis_.size())).first;
            subent_tfis_.push_back(static_cast<uint16_t>(tfi));
        }
        d.key = static_cast<int16_t>(it->second);
    }
    fields_.push_back(d);
    const bool data =
        f.type <= DDF_COUNT || f.type == DDF_STRUCT || f.type == DDF_LET || f.type == DDF_SUBENT;
    field_offsets_.push_back(data ? static_cast<int32_t>(offset) : -1);
    return true;
}

// Emits the descriptors of a sequence of fields whose container starts at
// base (body offset). kind: 0 entity, 1 structure, 2 union.
bool Encoder::EmitSeq(const std::vector<Field>& fs, uint32_t base, int kind, uint32_t elem_size,
                      uint32_t members_at, int depth) {
    std::vector<uint32_t> offsets;
    uint32_t end = 0;
    uint32_t align = 1;
    if (!Place(fs, kind == 2, members_at, depth, &offsets, &end, &align)) return false;
    std::vector<Measure> sizes(fs.size());
    for (std::size_t i = 0; i < fs.size(); ++i) {
        if (!FieldSize(fs[i], depth, &sizes[i])) return false;
    }
    bool after_derived = false;
    for (std::size_t i = 0; i < fs.size(); ++i) {
        const Field& f = fs[i];
        if (f.type == DDF_DERIVED) {
            if (kind != 0)
                return Fail(
                    f.loc,
                    "a derived field ends the walk of its entity and cannot be in a structure");
            after_derived = true;
        } else if (after_derived && f.type != DDF_METHOD) {
            return Fail(f.loc, "only derived and method fields can follow a derived field");
        }
        // Bytes after this field before the next one that holds data.
        int32_t gap = 0;
        if (sizes[i].size > 0 && kind != 2) {
            const uint32_t field_end = offsets[i] + sizes[i].size;
            uint32_t next = kind == 1 ? elem_size : field_end;
            for (std::size_t j = i + 1; j < fs.size(); ++j) {
                if (sizes[j].size > 0) {
                    next = offsets[j];
                    break;
                }
            }
            gap = static_cast<int32_t>(next - field_end);
        }
        if (f.type != DDF_STRUCT) {
            if (!EmitField(f, base + offsets[i], gap, depth)) return false;
            continue;
        }
        Measure elem;
        uint32_t at = 0;
        if (!Element(f, depth, &elem, &at)) return false;
        Field head = f;
        head.key = static_cast<int16_t>(elem.size);
        const std::size_t head_index = fields_.size();
        const bool is_union = (f.flags & DDF_UNION) != 0;
        if (!EmitField(head, base + offsets[i], is_union ? static_cast<int32_t>(at - 2) : 0,
                       depth)) {
            return false;
        }
        if (!EmitSeq(f.members, base + offsets[i], is_union ? 2 : 1, elem.size, at, depth + 1)) {
            return false;
        }
        Field tail;
        tail.type = DDF_ENDSTRUCT;
        tail.loc = f.loc;
        if (!EmitField(tail, 0, gap, depth)) return false;
        field_offsets_.back() = -1;
        fields_[head_index].aux = static_cast<uint16_t>(fields_.size() - 1 - head_index);
    }
    (void)end;
    (void)align;
    return true;
}

// Little-endian writers.
void Put16(std::vector<uint8_t>* out, uint16_t v) {
    out->push_back(static_cast<uint8_t>(v));
    out->push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>* out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put64(std::vector<uint8_t>* out, uint64_t v) {
    for (int i = 0; i < 8; ++i)
        out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A section of string offsets: count entries of stride bytes with the
// offset at position at; the strings follow the entries.
std::vector<uint8_t> StringSection(const std::vector<std::string>& strings) {
    std::vector<uint8_t> out;
    uint64_t next = strings.size() * 8;
    for (const std::string& s : strings) {
        Put64(&out, next);
        next += s.size() + 1;
    }
    for (const std::string& s : strings)
        out.insert(out.end(), s.c_str(), s.c_str() + s.size() + 1);
    return out;
}

bool Encoder::Run(std::vector<uint8_t>* image, std::vector<TypeLayout>* layouts) {
    const std::size_t n = dict_.entities.size();
    if (n > 32767) return Fail({}, "more than 32767 entity types");
    info_.assign(n, {});
    for (std::size_t i = 0; i < n; ++i) {
        const Entity& e = dict_.entities[i];
        if (!by_tf_.emplace(e.tf, i).second) {
            return Fail(e.loc, "entity type " + FormatTF(e.tf) + " defined twice");
        }
        order_.push_back(i);
    }
    std::sort(order_.begin(), order_.end(), [this](std::size_t a, std::size_t b) {
        return dict_.entities[a].tf < dict_.entities[b].tf;
    });
    for (std::size_t t = 0; t < n; ++t)
        tfi_of_[dict_.entities[order_[t]].tf] = t;

    // Field names, sorted by bytes, each once.
    std::set<std::string> names;
    auto collect = [&names](const std::vector<Field>& fs, auto&& self) -> void {
        for (const Field& f : fs) {
            if (f.named) names.insert(f.name);
            self(f.members, self);
        }
    };
    for (const Entity& e : dict_.entities)
        collect(e.fields, collect);
    names_.assign(names.begin(), names.end());
    if (names_.size() > 32767) return Fail({}, "more than 32767 field names");

    std::vector<int16_t> fld_indices;
    std::vector<int16_t> fldcnts;
    std::vector<uint16_t> sizes;
    for (std::size_t t = 0; t < n; ++t) {
        const Entity& e = dict_.entities[order_[t]];
        Measure data;
        if (!TypeData(order_[t], 0, &data)) return false;
        const uint32_t size = RoundUp(24 + data.size, 8);
        if (size > 65535) return Fail(e.loc, "entity body larger than 65535 bytes");
        type_start_ = fields_.size();
        fld_indices.push_back(static_cast<int16_t>(fields_.size()));
        if (!EmitSeq(e.fields, 24, 0, 0, 0, 0)) return false;
        Field end;
        end.type = DDF_ENDENT;
        end.key = e.end_method;
        end.loc = e.loc;
        if (!EmitField(end, 0, 0, 0)) return false;
        field_offsets_.back() = -1;
        fldcnts.push_back(static_cast<int16_t>(fields_.size() - type_start_));
        sizes.push_back(static_cast<uint16_t>(size));
        // Count fields: how many descriptors of the type size arrays by them.
        for (std::size_t i = type_start_; i < fields_.size(); ++i) {
            if (fields_[i].type != DDF_COUNT) continue;
            const int16_t slot = fields_[i].dims[0].a;
            int16_t refs = 0;
            for (std::size_t j = type_start_; j < fields_.size(); ++j) {
                const DDF_FIELD& g = fields_[j];
                if (g.type == DDF_COUNT) continue;
                for (int k = 0; k < g.dim_count; ++k) {
                    if (g.dims[k].a == slot || (g.dims[k].op != 'e' && g.dims[k].b == slot)) {
                        ++refs;
                        break;
                    }
                }
            }
            fields_[i].key = refs;
        }
        if (layouts != nullptr) {
            TypeLayout l;
            l.tf = e.tf;
            l.size = size;
            l.offsets.assign(field_offsets_.begin() + static_cast<long>(type_start_),
                             field_offsets_.end());
            layouts->push_back(std::move(l));
        }
    }
    // Pointer holders: a type holds pointers when one of its descriptors is
    // a ptr or vstring or an array held by pointer, or embeds a type that
    // holds pointers. Types are visited embedded-first by a fixed point.
    std::vector<uint8_t> has(n, 0);
    for (std::size_t t = 0; t < n; ++t) {
        for (int16_t i = 0; i < fldcnts[t]; ++i) {
            const DDF_FIELD& f = fields_[static_cast<std::size_t>(fld_indices[t] + i)];
            if (f.type == DDF_PTR || f.type == DDF_VSTRING || IsDynamic(f.flags)) has[t] = 1;
        }
    }
    for (bool changed = true; changed;) {
        changed = false;
        for (std::size_t t = 0; t < n; ++t) {
            if (has[t]) continue;
            for (int16_t i = 0; i < fldcnts[t]; ++i) {
                const DDF_FIELD& f = fields_[static_cast<std::size_t>(fld_indices[t] + i)];
                if (f.type == DDF_SUBENT && has[subent_tfis_[static_cast<std::size_t>(f.key)]]) {
                    has[t] = 1;
                    changed = true;
                    break;
                }
            }
        }
    }

    std::array<std::vector<uint8_t>, DDF_SECTION_COUNT> sec;
    sec[0] = StringSection(dict_.attr_names);
    for (int32_t tf : ptr_data_)
        Put32(&sec[2], static_cast<uint32_t>(tf));
    sec[3] = StringSection(dict_.ptr_names);
    {
        std::vector<uint8_t>& v = sec[6];
        uint64_t next = vdescs_.size() * 16;
        for (const auto& [value, name] : vdescs_) {
            Put32(&v, static_cast<uint32_t>(value));
            Put32(&v, 0);
            Put64(&v, next);
            next += name.size() + 1;
        }
        for (const auto& vd : vdescs_)
            v.insert(v.end(), vd.second.c_str(), vd.second.c_str() + vd.second.size() + 1);
    }
    sec[7] = opcodes_;
    std::vector<std::string> ent_names;
    std::vector<std::string> ent_descs;
    for (std::size_t t = 0; t < n; ++t) {
        const Entity& e = dict_.entities[order_[t]];
        Put32(&sec[8], static_cast<uint32_t>(e.tf));
        ent_names.push_back(e.name);
        ent_descs.push_back(e.desc);
        Put16(&sec[12], static_cast<uint16_t>(fld_indices[t]));
        Put16(&sec[14], static_cast<uint16_t>(fldcnts[t]));
        sec[16].push_back(e.uattrs);
        Put16(&sec[17], sizes[t]);
        sec[18].push_back(static_cast<uint8_t>(e.info | (has[t] ? DDF_INFO_HAS_PTRS : 0)));
    }
    sec[9] = StringSection(names_);
    sec[10] = StringSection(descs_);
    sec[11].resize(fields_.size() * sizeof(DDF_FIELD));
    if (!fields_.empty()) std::memcpy(sec[11].data(), fields_.data(), sec[11].size());
    sec[13] = StringSection(ent_names);
    sec[15] = StringSection(ent_descs);
    for (uint16_t tfi : subent_tfis_)
        Put16(&sec[19], tfi);
    for (int k : kRawKinds)
        sec[static_cast<std::size_t>(k - 1)] = dict_.raw[static_cast<std::size_t>(k - 1)];

    // File header, dictionary header, sections.
    std::vector<uint8_t>& out = *image;
    out.assign(sizeof(DDF_FILEHDR) + sizeof(DDF_DICT), 0);
    DDF_FILEHDR fh{};
    std::memcpy(fh.magic, DDF_MAGIC, sizeof DDF_MAGIC);
    fh.version = DDF_FILE_VERSION;
    fh.sections = DDF_SECTION_COUNT;
    std::memcpy(out.data(), &fh, sizeof fh);
    DDF_DICT h{};
    std::memcpy(h.name, dict_.name.data(), dict_.name.size());
    h.version = dict_.version;
    h.revision = dict_.revision;
    h.attr_count = static_cast<int32_t>(dict_.attr_names.size());
    h.ptr_name_count = static_cast<int32_t>(dict_.ptr_names.size());
    h.vdesc_count = static_cast<int32_t>(vdescs_.size());
    h.type_count = static_cast<int32_t>(n);
    h.fld_name_count = static_cast<int32_t>(names_.size());
    h.fld_desc_count = static_cast<int32_t>(descs_.size());
    std::memcpy(out.data() + sizeof fh, &h, sizeof h);
    for (int k = 0; k < DDF_SECTION_COUNT; ++k) {
        const std::vector<uint8_t>& s = sec[static_cast<std::size_t>(k)];
        if (s.size() > 0x7FFFFFFF) return Fail({}, "section too large");
        DDF_SECTHDR sh{};
        std::strcpy(sh.name, ddf__Sections[k].name);
        sh.size = static_cast<int32_t>(s.size());
        const auto* p = reinterpret_cast<const uint8_t*>(&sh);
        out.insert(out.end(), p, p + sizeof sh);
        out.insert(out.end(), s.begin(), s.end());
    }
    out.resize((out.size() + DDF_PAGE_SIZE - 1) / DDF_PAGE_SIZE * DDF_PAGE_SIZE, 0);
    return true;
}

} // namespace

int TypeSize(int type) {
    if (type == DDF_FSTRING) return 1;
    if (type < 0 || type >= DDF_FIELD_TYPES) return 0;
    return ddf__FldData[type].size;
}

std::string FormatTF(int32_t tf) {
    return std::to_string(tf >> 16) + ":" + std::to_string(tf & 0xFFFF);
}

bool Encode(const Dictionary& dict, std::string_view file_name, std::vector<uint8_t>* image,
            std::vector<TypeLayout>* layouts, std::vector<Diagnostic>* diagnostics) {
    Encoder e(dict, file_name, diagnostics);
    image->clear();
    if (e.Run(image, layouts)) return true;
    image->clear();
    return false;
}

} // namespace ddfc
