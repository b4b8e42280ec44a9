// Randomized dictionaries: sources generated from a fixed seed with every
// kind of field (nested structures and unions, counts and the dimensions
// that name them, lets, references, value descriptions, subentities of
// earlier types). Each must compile and load; its dump must compile back to
// the same bytes; the offsets the walk finds from the loaded descriptors
// must be the compiler's layout; and every structure's members and gaps
// must add up to its element size.
#include <random>
#include <string>

#include "ddfc/ddfc_test_support.h"

namespace {

using ddfctest::DdfcTest;

class Generator {
public:
    explicit Generator(uint32_t seed) : rng_(seed) {}

    std::string Dictionary() {
        forms_.clear();
        std::string s = "dictionary r" + std::to_string(Pick(1000)) + " version " +
                        std::to_string(Pick(9)) + " revision " + std::to_string(Pick(99)) + ";\n";
        if (Pick(2) == 0) s += "attr_names { \"a\" \"b q\" }\n";
        if (Pick(2) == 0) s += "section sub_super_data { u8 1 i16 -2 i32 3:4 }\n";
        const int types = 1 + Pick(6);
        for (int t = 0; t < types; ++t) {
            counts_.clear();
            descriptors_ = 0;
            const int forms = Pick(3);
            s += "entity " + std::to_string(t + 1) + ":" + std::to_string(forms) + " T" +
                 std::to_string(t) + " \"type " + std::to_string(t) + "\"";
            if (Pick(3) == 0) s += " info " + std::to_string(Pick(256) & ~4);
            s += " {\n    int " + Name() + ";\n";
            forms_.push_back(forms);
            s += Fields(t, 0, 1 + Pick(8));
            s += "}\n";
        }
        return s;
    }

private:
    int Pick(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }
    std::string Name() { return "f" + std::to_string(next_++); }

    std::string Dim() {
        if (counts_.empty() || Pick(3) == 0) return "[" + std::to_string(1 + Pick(4)) + "]";
        const std::string& c =
            counts_[static_cast<std::size_t>(Pick(static_cast<int>(counts_.size())))];
        static const char* const kOps[] = {"", " + 1", " - 1", " * 2", " / 2"};
        return "[" + c + kOps[Pick(5)] + "]";
    }

    std::string Fields(int type, int depth, int n) {
        std::string s;
        const std::string pad(static_cast<std::size_t>(4 * (depth + 1)), ' ');
        for (int i = 0; i < n && descriptors_ < 200; ++i) {
            ++descriptors_;
            const int kind = Pick(depth < 3 ? 16 : 12);
            static const char* const kScalars[] = {"short",  "int",  "long",    "float",
                                                   "double", "char", "vstring", "ptr"};
            if (kind < 8) {
                s += pad + kScalars[kind] + " " + Name();
                const int arr = Pick(4);
                if (arr == 1) s += Dim();
                if (arr == 2) s += Dim() + Dim();
                if (kind == 7 && Pick(2) == 0)
                    s += " refs { none 1:0 " + std::to_string(2 + Pick(50)) + " }";
                if (kind == 1 && Pick(2) == 0) s += " values { 0 \"zero\" -1 \"minus\" }";
                if (kind == 4 && Pick(2) == 0) s += " default " + std::to_string(50 + Pick(5));
                if (Pick(4) == 0)
                    s += " \"desc\" mod ATTR|LENGTH release " + std::to_string(Pick(300));
                s += ";\n";
            } else if (kind == 8) {
                const std::string c = Name();
                s += pad + "count " + c + ";\n";
                counts_.push_back(c);
            } else if (kind == 9) {
                s += pad + "fstring " + Name() + (Pick(2) == 0 ? Dim() : "") + "[" +
                     std::to_string(1 + Pick(20)) + "];\n";
            } else if (kind == 10 && type > 0) {
                const int sub = Pick(type);
                s += pad + "subent " + Name() + " " + std::to_string(sub + 1) + ":" +
                     std::to_string(forms_[static_cast<std::size_t>(sub)]) + ";\n";
            } else if (kind == 11 && !counts_.empty()) {
                const std::string l = Name();
                s += pad + "let " + l + " { " + l + " = " + counts_[0] + " * 3; }\n";
                counts_.push_back(l);
            } else if (kind >= 12) {
                const bool is_union = kind >= 14;
                s += pad + (is_union ? "union " : "struct ") + Name() +
                     (Pick(2) == 0 ? Dim() : "") + " {\n";
                descriptors_ += 1;
                s += pad + "    int " + Name() + ";\n";
                s += Fields(type, depth + 1, 1 + Pick(4));
                s += pad + "}\n";
            }
        }
        return s;
    }

    std::mt19937 rng_;
    int next_ = 0;
    int descriptors_ = 0;
    std::vector<std::string> counts_;
    std::vector<int> forms_;
};

// The members of a structure, with their gaps, make up exactly one element,
// and a union's members start after its selector and its gap. Checked on
// the loaded descriptors of every structure of every type.
void CheckStructures(const DDF_DICT& d) {
    for (int32_t t = 0; t < d.type_count; ++t) {
        const DDF_FIELD* run = d.fld_data + d.fld_indices[t];
        for (int32_t i = 0; i < d.ent_fldcnts[t]; ++i) {
            const DDF_FIELD& s = run[i];
            if (s.type != DDF_STRUCT || (s.flags & DDF_UNION) != 0) continue;
            ASSERT_EQ(run[i + s.aux].type, DDF_ENDSTRUCT);
            // Sum the direct members: nested structures count as their
            // element size times their inline count (or 8 when held by
            // pointer) plus their end gap.
            int64_t total = 0;
            for (int32_t j = i + 1; j < i + s.aux;) {
                const DDF_FIELD& m = run[j];
                if (m.type == DDF_STRUCT) {
                    int64_t n = 1;
                    if ((m.flags & DDF_ARRAY) != 0 && (m.flags & DDF_FIXED) != 0) {
                        for (int k = 0; k < m.dim_count; ++k)
                            n *= m.dims[k].a;
                    }
                    const bool held = (m.flags & DDF_ARRAY) != 0 && (m.flags & DDF_FIXED) == 0;
                    total += (held ? 8 : n * m.key) + run[j + m.aux].gap;
                    j += m.aux + 1;
                    continue;
                }
                int64_t size = m.type == DDF_SUBENT ? m.aux : ddf__FldData[m.type].size;
                if (m.type == DDF_FSTRING) size = m.dims[m.dim_count - 1].a;
                if ((m.flags & DDF_ARRAY) != 0) {
                    if ((m.flags & DDF_FIXED) == 0) {
                        size = 8;
                    } else {
                        const int dims = m.type == DDF_FSTRING ? m.dim_count - 1 : m.dim_count;
                        for (int k = 0; k < dims; ++k)
                            size *= m.dims[k].a;
                    }
                }
                total += size + m.gap;
                ++j;
            }
            EXPECT_EQ(total, s.key) << "type " << d.typeforms[t] << " struct at " << i;
        }
    }
}

TEST_F(DdfcTest, RandomDictionariesRoundTripAndLayOutConsistently) {
    Generator gen(20240611);
    for (int round = 0; round < 60; ++round) {
        const std::string source = gen.Dictionary();
        SCOPED_TRACE(source);
        ASSERT_NO_FATAL_FAILURE(RoundTrip(source, "round " + std::to_string(round)));
        ddfc::LoadedDict loaded;
        ASSERT_NO_FATAL_FAILURE(CompileLoad(source, &loaded));
        ASSERT_NO_FATAL_FAILURE(CheckStructures(loaded.dict()));
        if (HasFailure()) break;
    }
}

} // namespace
