// The C header of a dictionary: one struct per entity type whose layout is
// the type's body, so that a translator reads fields by name.
//
// The header asserts two things the C compiler checks: that each struct is
// as large as the dictionary's body size (ent_sizes), and that each member
// lies where the field walk finds it. Those offsets are not the compiler's
// own layout: they are worked out here from the descriptors alone, by
// stepping over each value and its gap as the walk does, so a header that
// compiles shows that the descriptors, the body sizes and C agree.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <set>

#include "ddfc_int.h"

namespace ddfc {
namespace {

// The value of a literal dimension expression.
int64_t LiteralDim(const Dim& d) {
    switch (d.op) {
    case 'f':
        return int64_t{d.a} + d.b;
    case 'g':
        return int64_t{d.a} - d.b;
    case 'h':
        return int64_t{d.a} * d.b;
    case 'i':
        return d.b == 0 ? 0 : d.a / d.b;
    default:
        return d.a;
    }
}

// Whether the walk finds data at a descriptor: value fields (codes 1 to
// 10), structures, lets and subentities. Derived and method fields, the
// union markers, code 0 and codes above 19 hold none and are stepped over.
bool HoldsData(uint8_t type) {
    return (type >= DDF_SHORT && type <= DDF_COUNT) || type == DDF_STRUCT || type == DDF_LET ||
           type == DDF_SUBENT;
}

// The name of a type code in comments: its ddf__FldData name, or its
// number for a code that the table does not hold.
std::string CodeName(uint8_t type) {
    if (type < DDF_FIELD_TYPES) return ddf__FldData[type].name;
    return "type code " + std::to_string(type);
}

std::string FieldText(const Field& f) {
    return f.named ? "'" + f.name + "'" : "-";
}

// The length of an fstring: its last dimension, a literal of at least 1.
bool FstringLength(const Field& f, int64_t* length, std::string* error) {
    if (f.dims.empty() || f.dims.back().op != 'e' || f.dims.back().a < 1) {
        *error = "fstring " + FieldText(f) + " has no literal length, which C cannot declare";
        return false;
    }
    *length = f.dims.back().a;
    return true;
}

// The data size the walk steps over for one field, from its descriptor.
// Inline arrays are bounded as the compiler bounds them: literal
// dimensions of at least 1 and no more bytes than an entity body holds, so
// the products stay small and every size is one that C can declare.
bool WalkSize(const Field& f, int64_t* size, std::string* error) {
    *size = 0;
    if (!HoldsData(f.type)) return true;
    if (f.type == DDF_SUBENT) {
        *size = f.file_aux;
        return true;
    }
    int64_t elem = TypeSize(f.type);
    if (f.type == DDF_STRUCT) elem = f.file_key;
    if (f.type == DDF_FSTRING && !FstringLength(f, &elem, error)) return false;
    if ((f.flags & DDF_ARRAY) == 0) {
        *size = elem;
        return true;
    }
    if (IsDynamic(f.flags)) {
        *size = 8;
        return true;
    }
    int64_t bytes = elem;
    for (std::size_t i = 0; i < ElementDims(f); ++i) {
        const Dim& d = f.dims[i];
        const int64_t n = LiteralDim(d);
        if (d.a < 0 || (d.op != 'e' && d.b < 0) || n < 1) {
            *error =
                "inline array " + FieldText(f) + " has a dimension that is no positive literal";
            return false;
        }
        bytes *= n; // at most 65535 * 32767 * 32767 before the check below
        if (bytes > 65535) {
            *error = "inline array " + FieldText(f) + " is larger than an entity body can be";
            return false;
        }
    }
    *size = bytes;
    return true;
}

// Offsets (from the body start) that the walk gives each descriptor, in
// descriptor order; -1 for those that hold no data. *at moves past the
// sequence.
bool WalkSeq(const std::vector<Field>& fs, int64_t* at, bool in_union, std::vector<int32_t>* out,
             std::string* error) {
    for (const Field& f : fs) {
        int64_t size = 0;
        if (!WalkSize(f, &size, error)) return false;
        const bool data = HoldsData(f.type);
        out->push_back(data ? static_cast<int32_t>(*at) : -1);
        if (f.type == DDF_STRUCT) {
            const bool is_union = (f.flags & DDF_UNION) != 0;
            int64_t inner = is_union ? *at + 2 + f.file_gap : *at;
            if (!WalkSeq(f.members, &inner, is_union, out, error)) return false;
            out->push_back(-1); // its end
            if (!in_union) *at += size + f.file_end_gap;
        } else if (!in_union && data) {
            *at += size + f.file_gap;
        }
    }
    return true;
}

const std::set<std::string>& Keywords() {
    static const std::set<std::string> k = {
        "auto",       "break",     "case",           "char",
        "const",      "continue",  "default",        "do",
        "double",     "else",      "enum",           "extern",
        "float",      "for",       "goto",           "if",
        "inline",     "int",       "long",           "register",
        "restrict",   "return",    "short",          "signed",
        "sizeof",     "static",    "struct",         "switch",
        "typedef",    "union",     "unsigned",       "void",
        "volatile",   "while",     "_Bool",          "_Complex",
        "_Imaginary", "_Alignas",  "_Alignof",       "_Atomic",
        "_Generic",   "_Noreturn", "_Static_assert", "_Thread_local",
        "tf",         "tfi",       "self",           "origin"};
    return k;
}

// A C identifier for a name: the part after the last '.', other characters
// than letters, digits and '_' replaced by '_'.
std::string Ident(const std::string& name) {
    std::string s =
        name.substr(name.find_last_of('.') == std::string::npos ? 0 : name.find_last_of('.') + 1);
    for (char& c : s) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') c = '_';
    }
    if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) s = "f_" + s;
    if (Keywords().count(s) != 0) s += "_";
    return s;
}

class HeaderWriter {
public:
    HeaderWriter(const Dictionary& d) : d_(d) {}
    bool Run(const std::string& guard, std::string* result, std::string* error);

private:
    struct Scope {
        std::set<std::string> used;
        std::string Unique(std::string s) {
            std::string t = s;
            for (int i = 2; used.count(t) != 0; ++i)
                t = s + "_" + std::to_string(i);
            used.insert(t);
            return t;
        }
    };
    void Members(const std::vector<Field>& fs, int indent, Scope* scope, const std::string& path,
                 const std::vector<int32_t>& offsets, std::size_t* next);
    std::string TypeName(int32_t tf) const { return names_.at(tf); }

    const Dictionary& d_;
    std::map<int32_t, std::string> names_;
    std::string body_;
    std::string asserts_;
    std::string current_; // struct being written
    int unnamed_ = 0;
};

void HeaderWriter::Members(const std::vector<Field>& fs, int indent, Scope* scope,
                           const std::string& path, const std::vector<int32_t>& offsets,
                           std::size_t* next) {
    const std::string pad(static_cast<std::size_t>(indent), ' ');
    for (const Field& f : fs) {
        const int32_t offset = offsets[(*next)++];
        const std::string raw = f.named ? f.name : "unnamed_" + std::to_string(unnamed_++);
        if (!HoldsData(f.type)) {
            body_ += pad + "/* " + CodeName(f.type) + " " + raw + ": holds no data */\n";
            continue;
        }
        const std::string name = scope->Unique(Ident(raw));
        std::string decl;
        const bool dynamic = IsDynamic(f.flags) && (f.flags & DDF_ARRAY) != 0;
        const std::size_t levels = (f.flags & DDF_ARRAY) == 0      ? 0
                                   : (f.flags & DDF_PTRFIXED) != 0 ? 1
                                                                   : ElementDims(f);
        std::string stars = dynamic ? std::string(std::max<std::size_t>(levels, 1), '*') : "";
        std::string dims;
        if ((f.flags & DDF_ARRAY) != 0 && !dynamic) {
            for (std::size_t i = 0; i < ElementDims(f); ++i)
                dims += "[" + std::to_string(LiteralDim(f.dims[i])) + "]";
        }
        std::string member_path = path + name;
        std::string first = member_path;
        if ((f.flags & DDF_ARRAY) != 0 && !dynamic) {
            for (std::size_t i = 0; i < ElementDims(f); ++i)
                first += "[0]";
        }
        switch (f.type) {
        case DDF_STRUCT: {
            const bool is_union = (f.flags & DDF_UNION) != 0;
            body_ += pad + "struct {\n";
            Scope inner;
            // Members of a dynamic array lie in a block of their own: no
            // offsets to assert (the '*' in the path says so).
            if (dynamic) first = "*";
            if (is_union) {
                body_ += pad + "    int16_t   selector;\n";
                body_ += pad + "    union {\n";
                Members(f.members, indent + 8, &inner, first + ".u.", offsets, next);
                body_ += pad + "    } u;\n";
            } else {
                Members(f.members, indent + 4, &inner, first + ".", offsets, next);
            }
            ++*next; // its end
            if (dynamic) {
                body_ += pad + "} " + stars + name + ";\n";
            } else {
                body_ += pad + "} " + name + dims + ";\n";
            }
            break;
        }
        case DDF_SUBENT:
            body_ += pad + "struct " + TypeName(f.subent_tf) + "_data " + name + ";\n";
            asserts_ += "_Static_assert(sizeof(struct " + TypeName(f.subent_tf) +
                        "_data) == " + std::to_string(f.file_aux) + ", \"" + current_ + "." +
                        member_path + ": subentity size\");\n";
            break;
        default: {
            std::string type = f.type == DDF_LONG ? "int32_t   " : ddf__FldData[f.type].decl;
            // HoldsData limits the codes here to those of the table.
            if (f.type == DDF_VSTRING) stars = "*" + stars;
            if (f.type == DDF_FSTRING) {
                const std::string len = "[" + std::to_string(f.dims.back().a) + "]"; // checked
                if (dynamic) {
                    body_ += pad + type + "(" + stars + name + ")" + len + ";\n";
                } else {
                    body_ += pad + type + name + dims + len + ";\n";
                }
            } else {
                body_ += pad + type + stars + name + dims + ";\n";
            }
            break;
        }
        }
        if (offset >= 0 && path.find("*") == std::string::npos) {
            asserts_ += "_Static_assert(offsetof(struct " + current_ + ", " + member_path +
                        ") == " + std::to_string(offset) + ", \"" + current_ + "." + member_path +
                        "\");\n";
        }
    }
}

bool HeaderWriter::Run(const std::string& guard, std::string* result, std::string* error) {
    // Struct names: dictionary and entity name, with the TF where two
    // types would share one.
    std::map<std::string, int> seen;
    auto base = [this](const Entity& e) {
        std::string s = Ident(d_.name) + "_" + Ident(e.name);
        std::transform(s.begin(), s.end(), s.begin(), [](char c) {
            return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        });
        return s;
    };
    for (const Entity& e : d_.entities)
        ++seen[base(e)];
    // Each type takes two struct names, NAME and NAME_data; a pair that
    // clashes with one already taken (entities p and p_data, or x_1_0 and
    // the TF-qualified name of an x) gets a number.
    std::set<std::string> taken;
    for (const Entity& e : d_.entities) {
        std::string s = base(e);
        if (seen[s] > 1)
            s += "_" + std::to_string(e.tf >> 16) + "_" + std::to_string(e.tf & 0xFFFF);
        std::string t = s;
        for (int i = 2; taken.count(t) != 0 || taken.count(t + "_data") != 0; ++i)
            t = s + "_" + std::to_string(i);
        taken.insert(t);
        taken.insert(t + "_data");
        names_[e.tf] = t;
    }
    std::string out = "/* C structs of the entity bodies of dictionary " + d_.name + ", version " +
                      std::to_string(d_.version) + " revision " + std::to_string(d_.revision) +
                      ".\n * Generated by 'mvx ddf header'; do not edit. */\n";
    out += "#ifndef " + guard + "\n#define " + guard + "\n\n";
    out += "#include <stddef.h>\n#include <stdint.h>\n\n#include \"mvx/types.h\"\n";

    // Embedded types first, so that a subentity's struct is complete where
    // it is used: types in an order where each follows those it embeds.
    std::vector<std::size_t> order;
    std::vector<int> state(d_.entities.size(), 0);
    std::map<int32_t, std::size_t> index;
    for (std::size_t i = 0; i < d_.entities.size(); ++i)
        index[d_.entities[i].tf] = i;
    auto visit = [&](std::size_t i, auto&& self) -> void {
        if (state[i] != 0) return;
        state[i] = 1;
        auto deps = [&](const std::vector<Field>& fs, auto&& again) -> void {
            for (const Field& f : fs) {
                if (f.type == DDF_SUBENT && index.count(f.subent_tf) != 0)
                    self(index[f.subent_tf], self);
                again(f.members, again);
            }
        };
        deps(d_.entities[i].fields, deps);
        order.push_back(i);
    };
    for (std::size_t i = 0; i < d_.entities.size(); ++i)
        visit(i, visit);

    for (std::size_t i : order) {
        const Entity& e = d_.entities[i];
        const std::string name = names_[e.tf];
        std::vector<int32_t> offsets;
        int64_t at = 24;
        if (!WalkSeq(e.fields, &at, false, &offsets, error)) {
            *error = "entity type " + FormatTF(e.tf) + ": " + *error;
            return false;
        }
        const bool has_data = std::any_of(e.fields.begin(), e.fields.end(), [](const Field& f) {
            int64_t size = 0;
            std::string ignored;
            return f.type == DDF_STRUCT || (WalkSize(f, &size, &ignored) && size > 0);
        });
        out += "\n/* " + FormatTF(e.tf) + " " + e.name + (e.desc.empty() ? "" : ": " + e.desc) +
               " */\n";
        asserts_.clear();
        if (has_data) {
            // The fields alone, as a subentity embeds them.
            body_.clear();
            current_ = name + "_data";
            Scope scope;
            std::size_t next = 0;
            std::vector<int32_t> none(offsets.size(), -1);
            Members(e.fields, 4, &scope, "", none, &next);
            out += "struct " + name + "_data {\n" + body_ + "};\n";
        }
        body_.clear();
        current_ = name;
        asserts_.clear();
        Scope scope;
        std::size_t next = 0;
        unnamed_ = 0;
        Members(e.fields, 4, &scope, "", offsets, &next);
        out += "struct " + name +
               " {\n    int32_t   tf;\n    int32_t   tfi;\n    MDA_PTR   self;\n"
               "    MDA_PTR   origin;\n" +
               body_ + "};\n";
        out += "_Static_assert(sizeof(struct " + name + ") == " + std::to_string(e.file_size) +
               ", \"" + name + ": body size\");\n";
        out += asserts_;
    }
    out += "\n#endif /* " + guard + " */\n";
    *result = std::move(out);
    return true;
}

} // namespace

bool Header(const DDF_DICT& dict, const SectionSizes& sizes, const std::string& guard,
            std::string* out, std::string* error) {
    Dictionary d;
    if (!Decode(dict, sizes, &d, error)) return false;
    HeaderWriter w(d);
    out->clear();
    return w.Run(guard, out, error);
}

bool WalkLayout(const DDF_DICT& dict, const SectionSizes& sizes, std::vector<TypeLayout>* layouts,
                std::string* error) {
    Dictionary d;
    if (!Decode(dict, sizes, &d, error)) return false;
    layouts->clear();
    for (const Entity& e : d.entities) {
        TypeLayout l;
        l.tf = e.tf;
        l.size = e.file_size;
        int64_t at = 24;
        if (!WalkSeq(e.fields, &at, false, &l.offsets, error)) return false;
        l.offsets.push_back(-1); // the entity's end
        layouts->push_back(std::move(l));
    }
    return true;
}

} // namespace ddfc
