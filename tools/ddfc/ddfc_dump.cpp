// From a loaded dictionary back to source text.
//
// Decode rebuilds the compiler's form of a dictionary from the loaded
// sections, checking every index it follows against the section sizes
// read from the file. Print writes source text that the parser reads back
// into the same form: values that the compiler computes (offsets, gaps,
// sizes, struct sizes, subentity indexes, the counts of count fields, the
// pointer bit of ent_info) are left out, and everything the source states
// is written only where it differs from what the source would imply
// without it (a count's slot, an array's storage, a flags word).
//
// The loader lets types share descriptor runs and fields share runs of
// value descriptions, reference lists, let instructions and descriptions;
// decoding such sharing once per user would make a small file decode into
// a huge dictionary (types times run length). The compiler never shares
// them, so the decoder refuses a dictionary that does: every decoded item
// then has its own bytes in the file, and only field names (which the
// compiler does share, each at most 4096 bytes) are decoded more than once.
// Their total is bounded too: a source states every field's name in full,
// so no compiled dictionary decodes to more names than the 16 MiB that a
// source can hold.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>
#include <map>

#include "ddfc_int.h"

namespace ddfc {
namespace {

class Decoder {
public:
    Decoder(const DDF_DICT& d, const SectionSizes& s) : d_(d), s_(s) {}
    bool Run(Dictionary* out, std::string* error);

private:
    bool Fail(const std::string& m) {
        *error_ = m;
        return false;
    }
    int64_t Entries(int kind, int64_t width) const {
        const int32_t size = s_.size[kind - 1];
        return size < 0 ? 0 : size / width;
    }
    bool Seq(int32_t first, int32_t count, int32_t* i, std::vector<Field>* out, int depth,
             bool in_struct, Entity* e, int8_t* end_gap);
    bool One(const DDF_FIELD& d, Field* f);
    bool Claim(std::vector<uint8_t>* used, int64_t first, int64_t count, const char* what);
    bool DisjointRuns();
    bool Nesting(int32_t tfi, int depth);

    const DDF_DICT& d_;
    const SectionSizes& s_;
    std::string* error_ = nullptr;
    // Entries already decoded, of vdescs, ptr_data, opcodes and fld_descs.
    std::vector<uint8_t> vdescs_used_, refs_used_, lets_used_, descs_used_;
    std::vector<uint8_t> nesting_state_; // per type: 0 new, 1 on the path, 2 checked
    std::vector<int> height_;            // per checked type: its longest subentity chain
    std::size_t name_bytes_ = 0;         // field names decoded so far
};

// Marks entries first .. first + count - 1 of a section as decoded; an
// entry that an earlier field already decoded is refused.
bool Decoder::Claim(std::vector<uint8_t>* used, int64_t first, int64_t count, const char* what) {
    for (int64_t k = first; k < first + count; ++k) {
        uint8_t& u = (*used)[static_cast<std::size_t>(k)];
        if (u != 0) return Fail(std::string("fields that share ") + what);
        u = 1;
    }
    return true;
}

// Refuses types whose descriptor runs overlap.
bool Decoder::DisjointRuns() {
    std::vector<std::pair<int32_t, int32_t>> runs; // first descriptor, TFI
    for (int32_t t = 0; t < d_.type_count; ++t) {
        if (d_.ent_fldcnts[t] > 0) runs.emplace_back(d_.fld_indices[t], t);
    }
    std::sort(runs.begin(), runs.end());
    for (std::size_t i = 1; i < runs.size(); ++i) {
        const int32_t before = runs[i - 1].second;
        if (runs[i].first < d_.fld_indices[before] + d_.ent_fldcnts[before]) {
            return Fail("entity types " + FormatTF(d_.typeforms[before]) + " and " +
                        FormatTF(d_.typeforms[runs[i].second]) +
                        " share field descriptors, which the language cannot state");
        }
    }
    return true;
}

// Follows the subentities of a type (within its run) reached through depth
// embeddings, refusing a type that contains itself and chains deeper than
// the compiler allows. Each type's own height (its longest chain) is kept,
// so a type checked before is still checked against the depth it is
// reached at; the depth bound also bounds this recursion.
bool Decoder::Nesting(int32_t tfi, int depth) {
    const auto t = static_cast<std::size_t>(tfi);
    const int deep = kMaxSubentDepth;
    if (nesting_state_[t] == 1) {
        return Fail("entity type " + FormatTF(d_.typeforms[tfi]) +
                    " contains itself through subentities");
    }
    if (depth > deep || (nesting_state_[t] == 2 && depth + height_[t] > deep))
        return Fail("subentities nested more than 32 deep");
    if (nesting_state_[t] == 2) return true;
    nesting_state_[t] = 1;
    int height = 0;
    for (int32_t i = 0; i < d_.ent_fldcnts[tfi]; ++i) {
        const DDF_FIELD& f = d_.fld_data[d_.fld_indices[tfi] + i];
        if (f.type != DDF_SUBENT) continue;
        const uint16_t inner = d_.subent_tfis[f.key];
        if (!Nesting(inner, depth + 1)) return false;
        height = std::max(height, height_[inner] + 1);
    }
    height_[t] = height;
    nesting_state_[t] = 2;
    return true;
}

bool Decoder::One(const DDF_FIELD& d, Field* f) {
    f->type = d.type;
    f->named = d.name >= 0;
    if (f->named) {
        const std::size_t length = std::strlen(d_.fld_names[d.name]);
        if (length > kMaxText) return Fail("a field name longer than 4096 bytes");
        name_bytes_ += length;
        if (name_bytes_ > kMaxSourceSize)
            return Fail("more field names than a dictionary source can hold (16 MiB)");
        f->name = d_.fld_names[d.name];
    }
    f->has_desc = d.desc >= 0;
    if (f->has_desc) {
        if (!Claim(&descs_used_, d.desc, 1, "a description")) return false;
        f->desc = d_.fld_descs[d.desc];
    }
    f->modifiers = d.modifiers;
    f->flags = d.flags;
    f->file_gap = d.gap;
    f->file_aux = d.aux;
    f->file_key = d.key;
    if (d.type != DDF_COUNT && d.type != DDF_STRUCT && d.type != DDF_SUBENT) f->key = d.key;
    if (d.dim_count > 5) return Fail("a field with more than 5 dimensions");
    for (int i = 0; i < d.dim_count; ++i)
        f->dims.push_back({d.dims[i].a, d.dims[i].b, d.dims[i].op});
    if (d.dim_count < 5) std::memcpy(&f->release, reinterpret_cast<const uint8_t*>(&d) + 56, 4);
    if (d.vdesc_count > 0) {
        if (d.aux + d.vdesc_count > d_.vdesc_count) return Fail("value descriptions out of range");
        if (!Claim(&vdescs_used_, d.aux, d.vdesc_count, "value descriptions")) return false;
        for (int i = 0; i < d.vdesc_count; ++i) {
            const DDF_VDESC& v = d_.vdescs[d.aux + i];
            f->vdescs.emplace_back(v.value, v.name);
        }
    }
    if (d.ref_count > 0) {
        if (d.ref_first + d.ref_count > Entries(3, 4)) return Fail("reference list out of range");
        if (!Claim(&refs_used_, d.ref_first, d.ref_count, "a reference list")) return false;
        f->refs.assign(d_.ptr_data + d.ref_first, d_.ptr_data + d.ref_first + d.ref_count);
    }
    if (d.type == DDF_LET) {
        const int64_t total = Entries(8, 6);
        for (int64_t k = d.let;; ++k) {
            if (k >= total) return Fail("let instructions without their end");
            if (!Claim(&lets_used_, k, 1, "let instructions")) return false;
            const uint8_t* rec = d_.opcodes + k * 6;
            LetOp op;
            std::memcpy(&op.a, rec, 2);
            std::memcpy(&op.b, rec + 2, 2);
            op.op = static_cast<char>(rec[5]);
            if (op.op == 'd') break;
            op.dest = -static_cast<int8_t>(rec[4]);
            if (std::strchr("fghi", op.op) == nullptr || op.op == '\0') {
                return Fail("let instruction with an unknown operation");
            }
            if (op.dest < 1 || op.dest > kMaxSlot)
                return Fail("let instruction that writes no slot");
            f->lets.push_back(op);
        }
    }
    if (d.type == DDF_SUBENT) {
        if (d.key < 0 || d.key >= Entries(20, 2)) return Fail("subentity index out of range");
        const uint16_t tfi = d_.subent_tfis[d.key];
        if (tfi >= d_.type_count) return Fail("subentity type out of range");
        f->subent_tf = d_.typeforms[tfi];
    }
    return true;
}

// Reads descriptors from *i up to the end of the current level: the
// entity's end (in_struct false) or a structure's end.
bool Decoder::Seq(int32_t first, int32_t count, int32_t* i, std::vector<Field>* out, int depth,
                  bool in_struct, Entity* e, int8_t* end_gap) {
    if (depth > kMaxNesting) return Fail("structures nested more than 32 deep");
    while (*i < count) {
        const DDF_FIELD& d = d_.fld_data[first + *i];
        const int32_t at = *i;
        ++*i;
        if (d.type == DDF_ENDENT) {
            if (in_struct) return Fail("a structure without its end");
            e->end_method = d.key;
            if (*i != count) return Fail("descriptors after the end of an entity");
            return true;
        }
        if (d.type == DDF_ENDSTRUCT) {
            if (!in_struct) return Fail("a structure end without its structure");
            *end_gap = d.gap;
            return true;
        }
        Field f;
        if (!One(d, &f)) return false;
        if (d.type == DDF_STRUCT) {
            if (!Seq(first, count, i, &f.members, depth + 1, true, e, &f.file_end_gap))
                return false;
            if (*i - 1 != at + d.aux) return Fail("a structure whose descriptor count is wrong");
        }
        out->push_back(std::move(f));
    }
    return Fail(in_struct ? "a structure without its end" : "an entity without its end");
}

bool Decoder::Run(Dictionary* out, std::string* error) {
    error_ = error;
    if (std::memchr(d_.name, 0, sizeof d_.name) == nullptr) return Fail("unterminated name");
    out->name = d_.name;
    out->version = d_.version;
    out->revision = d_.revision;
    for (int32_t i = 0; i < d_.attr_count; ++i)
        out->attr_names.emplace_back(d_.attr_names[i]);
    for (int32_t i = 0; i < d_.ptr_name_count; ++i)
        out->ptr_names.emplace_back(d_.ptr_names[i]);
    for (int k : kRawKinds) {
        const int32_t size = s_.size[k - 1];
        if (size <= 0) continue;
        const uint8_t* p = nullptr;
        std::memcpy(&p, reinterpret_cast<const uint8_t*>(&d_) + ddf__Sections[k - 1].offset,
                    sizeof p);
        out->raw[static_cast<std::size_t>(k - 1)].assign(p, p + size);
    }
    const int32_t n = d_.type_count;
    vdescs_used_.assign(static_cast<std::size_t>(d_.vdesc_count), 0);
    refs_used_.assign(static_cast<std::size_t>(Entries(3, 4)), 0);
    lets_used_.assign(static_cast<std::size_t>(Entries(8, 6)), 0);
    descs_used_.assign(static_cast<std::size_t>(d_.fld_desc_count), 0);
    nesting_state_.assign(static_cast<std::size_t>(n), 0);
    height_.assign(static_cast<std::size_t>(n), 0);
    if (!DisjointRuns()) return false;
    for (int32_t t = 0; t < n; ++t) {
        if (!Nesting(t, 0)) return false;
    }
    std::vector<uint8_t> has(static_cast<std::size_t>(n), 0);
    for (int32_t t = 0; t < n; ++t) {
        Entity e;
        e.tf = d_.typeforms[t];
        e.name = d_.ent_names[t];
        e.desc = d_.ent_descs[t];
        e.info = d_.ent_info[t];
        e.file_size = d_.ent_sizes[t];
        if (Entries(17, 1) >= n) e.uattrs = static_cast<const uint8_t*>(d_.ent_uattrs)[t];
        int32_t i = 0;
        if (!Seq(d_.fld_indices[t], d_.ent_fldcnts[t], &i, &e.fields, 0, false, &e, nullptr)) {
            return Fail("entity type " + FormatTF(e.tf) + ": " + *error);
        }
        out->entities.push_back(std::move(e));
    }
    // The pointer bit is left to the compiler where it would set it itself.
    for (int32_t t = 0; t < n; ++t) {
        for (int32_t i = 0; i < d_.ent_fldcnts[t]; ++i) {
            const DDF_FIELD& f = d_.fld_data[d_.fld_indices[t] + i];
            if (f.type == DDF_PTR || f.type == DDF_VSTRING || IsDynamic(f.flags))
                has[static_cast<std::size_t>(t)] = 1;
        }
    }
    for (bool changed = true; changed;) {
        changed = false;
        for (int32_t t = 0; t < n; ++t) {
            if (has[static_cast<std::size_t>(t)]) continue;
            for (int32_t i = 0; i < d_.ent_fldcnts[t]; ++i) {
                const DDF_FIELD& f = d_.fld_data[d_.fld_indices[t] + i];
                if (f.type == DDF_SUBENT && has[d_.subent_tfis[f.key]]) {
                    has[static_cast<std::size_t>(t)] = 1;
                    changed = true;
                    break;
                }
            }
        }
    }
    for (int32_t t = 0; t < n; ++t) {
        if (has[static_cast<std::size_t>(t)])
            out->entities[static_cast<std::size_t>(t)].info &=
                static_cast<uint8_t>(~DDF_INFO_HAS_PTRS);
    }
    return true;
}

// ---- printing

// Whether the lexer reads s as one name: names longer than it takes bare
// are written as strings.
bool IsIdent(const std::string& s) {
    if (s.empty() || s.size() > kMaxIdent) return false;
    if (!(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
    return std::all_of(s.begin(), s.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.';
    });
}

std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

std::string NameText(const std::string& s) {
    return IsIdent(s) ? s : Quote(s);
}

std::string Hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

class Printer {
public:
    std::string Run(const Dictionary& d);

private:
    void Fields(const std::vector<Field>& fs, int indent);
    void OneField(const Field& f, int indent);
    std::string Operand(int16_t v) const;
    std::string DimText(const Dim& d) const;

    std::string out_;
    std::map<std::string, int> slots_;
    int max_slot_ = 0;
};

std::string Printer::Operand(int16_t v) const {
    if (v >= 0) return std::to_string(v);
    for (const auto& [name, slot] : slots_) {
        if (slot == -v && IsIdent(name)) return name;
    }
    return "$" + std::to_string(-v);
}

std::string Printer::DimText(const Dim& d) const {
    std::string s = "[" + Operand(d.a);
    const char* ops = "fghi";
    const char* p = std::strchr(ops, d.op);
    if (d.op != 'e' && p != nullptr && d.op != '\0') {
        s += std::string(" ") + "+-*/"[p - ops] + " " + Operand(d.b);
    }
    return s + "]";
}

void Printer::OneField(const Field& f, int indent) {
    static const char* const kWords[] = {
        "",           "short",         "int",    "long",    "float",  "double", "char",
        "fstring",    "vstring",       "ptr",    "count",   "struct", "",       "let",
        "union_mark", "endunion_mark", "subent", "derived", "method", ""};
    const bool is_union = f.type == DDF_STRUCT && (f.flags & DDF_UNION) != 0;
    std::string line(static_cast<std::size_t>(indent), ' ');
    line += is_union ? "union" : f.type < std::size(kWords) ? kWords[f.type] : "";
    line += " " + (f.named ? NameText(f.name) : std::string("-"));
    if (f.type == DDF_SUBENT) line += " " + FormatTF(f.subent_tf);
    if (f.type != DDF_COUNT) {
        for (const Dim& d : f.dims)
            line += DimText(d);
    }
    if (f.has_desc) line += " " + Quote(f.desc);
    if (f.type == DDF_DERIVED) {
        if (f.key != 0) line += " method " + std::to_string(f.key);
    } else if (f.key != 0 && f.type != DDF_COUNT && f.type != DDF_STRUCT && f.type != DDF_SUBENT) {
        line += " default " + std::to_string(f.key);
    }
    if (f.modifiers != 0) {
        static const char* const kMods[] = {"ATTR",    "DEFAULT", "FUNCTION",  "RANGE",
                                            "REFTYPE", "LENGTH",  "MAXLENGTH", "METHOD"};
        std::string mods;
        for (int b = 0; b < 8; ++b) {
            if (f.modifiers & (1u << b)) mods += (mods.empty() ? "" : "|") + std::string(kMods[b]);
        }
        if (f.modifiers & ~0xFFu) mods += (mods.empty() ? "" : "|") + Hex(f.modifiers & ~0xFFu);
        line += " mod " + mods;
    }
    if (!f.vdescs.empty()) {
        line += " values {";
        for (const auto& [v, n] : f.vdescs)
            line += " " + std::to_string(v) + " " + Quote(n);
        line += " }";
    }
    const bool any = (f.flags & DDF_REFANY) != 0 && f.type == DDF_PTR;
    const bool none = (f.flags & DDF_REFNONE) != 0 && f.type == DDF_PTR;
    if (f.type == DDF_PTR && (any || none || !f.refs.empty())) {
        line += " refs {";
        if (any) line += " any";
        if (none) line += " none";
        for (int32_t tf : f.refs)
            line += " " + FormatTF(tf);
        line += " }";
    }
    if (f.dims.size() < 5 && f.release != 0) line += " release " + std::to_string(f.release);
    // Storage: the words that reproduce the flags, else the flags word.
    const bool unsized = (f.flags & DDF_UNSIZED) != 0 && ElementDims(f) > 0;
    uint16_t storage = 0;
    uint16_t want = FormFlags(f, is_union, 0, unsized, any, none);
    if (want != f.flags && ElementDims(f) > 0) {
        const uint16_t s = f.flags & (DDF_PTRFIXED | DDF_VARIABLE);
        if (s == DDF_PTRFIXED || (s == DDF_VARIABLE && ElementDims(f) >= 2)) {
            storage = s;
            want = FormFlags(f, is_union, storage, unsized, any, none);
        }
    }
    if (storage == DDF_PTRFIXED) line += " ptrfixed";
    if (storage == DDF_VARIABLE) line += " variable";
    if (unsized) line += " unsized";
    if (f.type == DDF_COUNT && !f.dims.empty()) {
        const int k = -f.dims[0].a;
        if (k != max_slot_ + 1) line += " slot " + std::to_string(k);
        max_slot_ = std::max(max_slot_, k);
        if (f.named) slots_[f.name] = k;
    }
    if (want != f.flags) line += " flags " + Hex(f.flags);
    if (f.type == DDF_LET) {
        out_ += line + " {\n";
        for (const LetOp& op : f.lets) {
            const char* ops = "fghi";
            const char* p = std::strchr(ops, op.op);
            out_ += std::string(static_cast<std::size_t>(indent) + 4, ' ') +
                    Operand(static_cast<int16_t>(-op.dest)) + " = " + Operand(op.a) + " " +
                    "+-*/"[p - ops] + " " + Operand(op.b) + ";\n";
            max_slot_ = std::max(max_slot_, op.dest);
        }
        out_ += std::string(static_cast<std::size_t>(indent), ' ') + "}\n";
        return;
    }
    if (f.type == DDF_STRUCT) {
        out_ += line + " {\n";
        Fields(f.members, indent + 4);
        out_ += std::string(static_cast<std::size_t>(indent), ' ') + "}\n";
        return;
    }
    out_ += line + ";\n";
}

void Printer::Fields(const std::vector<Field>& fs, int indent) {
    for (const Field& f : fs)
        OneField(f, indent);
}

std::string Printer::Run(const Dictionary& d) {
    out_ = "dictionary " + NameText(d.name) + " version " + std::to_string(d.version) +
           " revision " + std::to_string(d.revision) + ";\n";
    auto list = [this](const char* word, const std::vector<std::string>& l) {
        if (l.empty()) return;
        out_ += std::string("\n") + word + " {\n";
        for (const std::string& s : l)
            out_ += "    " + Quote(s) + "\n";
        out_ += "}\n";
    };
    list("attr_names", d.attr_names);
    list("ptr_names", d.ptr_names);
    for (int k : kRawKinds) {
        const std::vector<uint8_t>& bytes = d.raw[static_cast<std::size_t>(k - 1)];
        if (bytes.empty()) continue;
        out_ += std::string("\nsection ") + ddf__Sections[k - 1].name + " {";
        const bool words = bytes.size() % 4 == 0;
        out_ += words ? " i32" : " u8";
        const std::size_t step = words ? 4 : 1;
        for (std::size_t i = 0; i < bytes.size(); i += step) {
            if ((i / step) % 8 == 0) out_ += "\n   ";
            // Appended piece by piece: gcc 12 at -O3 reports a false
            // -Wrestrict overlap inside " " + std::to_string(...).
            int32_t v = bytes[i];
            if (words) std::memcpy(&v, bytes.data() + i, 4);
            out_ += ' ';
            out_ += std::to_string(v);
        }
        out_ += "\n}\n";
    }
    for (const Entity& e : d.entities) {
        slots_.clear();
        max_slot_ = 0;
        out_ += "\nentity " + FormatTF(e.tf) + " " + NameText(e.name);
        if (!e.desc.empty()) out_ += " " + Quote(e.desc);
        if (e.info != 0) out_ += " info " + Hex(e.info);
        if (e.uattrs != 0) out_ += " uattrs " + Hex(e.uattrs);
        if (e.end_method != 0) out_ += " method " + std::to_string(e.end_method);
        out_ += " {\n";
        Fields(e.fields, 4);
        out_ += "}\n";
    }
    return out_;
}

} // namespace

bool Decode(const DDF_DICT& dict, const SectionSizes& sizes, Dictionary* out, std::string* error) {
    Decoder d(dict, sizes);
    return d.Run(out, error);
}

std::string Print(const Dictionary& dict) {
    Printer p;
    return p.Run(dict);
}

namespace {

// Finds a field the language has no form for: a type code without a word
// (0, and codes above 19, which the loader accepts and the walk steps
// over), or an fstring whose last dimension is not a literal length.
bool Stateable(const std::vector<Field>& fs, std::string* error) {
    for (const Field& f : fs) {
        const std::string name = f.named ? "'" + f.name + "'" : "-";
        if (f.type == 0 || f.type >= DDF_FIELD_TYPES) {
            *error = "field " + name + " has type code " + std::to_string(f.type) +
                     ", which the language cannot state";
            return false;
        }
        if (f.type == DDF_FSTRING &&
            (f.dims.empty() || f.dims.back().op != 'e' || f.dims.back().a < 1)) {
            *error = "fstring " + name + " has no literal length, which the language cannot state";
            return false;
        }
        if (!Stateable(f.members, error)) return false;
    }
    return true;
}

} // namespace

bool Dump(const DDF_DICT& dict, const SectionSizes& sizes, std::string* out, std::string* error) {
    out->clear();
    Dictionary d;
    if (!Decode(dict, sizes, &d, error)) return false;
    for (const Entity& e : d.entities) {
        if (!Stateable(e.fields, error)) {
            *error = "entity type " + FormatTF(e.tf) + ": " + *error;
            return false;
        }
    }
    std::string text = Print(d);
    if (text.size() > kMaxSourceSize) {
        *error = "the dump would be larger than the 16 MiB the compiler reads";
        return false;
    }
    // The compiler has the last word on what the language can state: a dump
    // that it would refuse (a name or text over its limits, a layout it
    // cannot reproduce) is reported with its diagnostic instead of printed.
    std::vector<uint8_t> image;
    std::vector<Diagnostic> diags;
    if (!Compile(text, "dump", &image, &diags)) {
        *error = "the language cannot state this dictionary: " +
                 (diags.empty() ? std::string("?") : diags[0].Text());
        return false;
    }
    *out = std::move(text);
    return true;
}

} // namespace ddfc
