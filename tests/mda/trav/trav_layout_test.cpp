// A property of the field walk over every type of every dictionary in the
// tree: after its arrays are sized (mode 1, each count set by the visitor),
// a mode-0 walk visits every top-level value field once at the offset the
// compiler laid it out at, value bytes never overlap or leave the body, and
// each dynamic array sized by count fields has their product as its length.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ddfc/ddfc.h"
#include "mda/mda_int.h"
#include "support/compiled_dict.h"
#include "support/fixture.h"
#include "support/tempdir.h"

namespace {

struct Seen {
    const DDF_FIELD* field;
    int32_t count, type, depth;
    const char* address;
    const char* slot; // mda__TraverseAddr: the pointer of a dynamic array
    int64_t expected; // product of the count fields that size it, or -1
};
std::vector<Seen> seen;
std::vector<std::map<int32_t, int32_t>> counts; // count-field values per level
int32_t depth = 0;

bool Dynamic(const DDF_FIELD* f) {
    return (f->flags & DDF_ARRAY) != 0 && (f->flags & DDF_FIXED) == 0;
}

int32_t SetCounts(void*, int32_t, int32_t type, void* address, DDF_FIELD* field) {
    if (type == DDF_COUNT) {
        const int32_t value = 1 + (-field->dims[0].a) % 3;
        std::memcpy(address, &value, 4);
    }
    return 0;
}

int32_t Collect(void*, int32_t count, int32_t type, void* address, DDF_FIELD* field) {
    if (type == DDF_SUBENT) counts.emplace_back();
    if (type == DDF_STRUCT || type == DDF_UNIONTYPE || type == DDF_SUBENT) ++depth;
    if (type == DDF_ENDSTRUCT || type == DDF_ENDUNION || (type == DDF_ENDENT && depth > 0)) {
        --depth;
        if (type == DDF_ENDENT) counts.pop_back();
    }
    if (type < DDF_SHORT || type > DDF_COUNT) return 0;
    if (type == DDF_COUNT) std::memcpy(&counts.back()[-field->dims[0].a], address, 4);
    int64_t expected = -1;
    if (Dynamic(field) && (field->flags & DDF_UNSIZED) == 0) {
        expected = 1;
        const int n = field->dim_count - (type == DDF_FSTRING ? 1 : 0);
        for (int i = 0; i < n && expected >= 0; ++i) {
            const DDF_DIMEXPR& e = field->dims[i];
            const auto it = counts.back().find(-e.a);
            if (e.op != 'e' || (e.a < 0 && it == counts.back().end()))
                expected = -1;
            else
                expected *= e.a >= 0 ? e.a : it->second;
        }
    }
    seen.push_back({field, count, type, depth, static_cast<const char*>(address),
                    static_cast<const char*>(mda__TraverseAddr), expected});
    return 0;
}

int64_t ValueBytes(const Seen& s) {
    if (Dynamic(s.field)) return 8;
    int64_t size = ddf__FldData[s.type].size;
    if (s.type == DDF_FSTRING) size = s.field->dims[s.field->dim_count - 1].a;
    return s.count * size;
}

class TraversalLayout : public mvxtest::LibraryTest,
                        public ::testing::WithParamInterface<std::string> {};

TEST_P(TraversalLayout, ValueEventsTileEveryBodyAsTheCompilerLaidItOut) {
    const std::string path = GetParam().rfind("examples/", 0) == 0
                                 ? mvxtest::ExamplePath(GetParam().substr(9))
                                 : mvxtest::TestDataPath(GetParam());
    mvxtest::TempDir scratch;
    mvxtest::CompiledDict dict;
    ASSERT_TRUE(dict.Load(path));
    std::stringstream source;
    source << std::ifstream(path).rdbuf();
    std::vector<ddfc::TypeLayout> layouts;
    std::vector<ddfc::Diagnostic> diags;
    ASSERT_TRUE(ddfc::Layout(source.str(), &layouts, &diags));
    ASSERT_EQ(layouts.size(), static_cast<size_t>(dict->type_count));
    MDA_MODEL_DEF def;
    mda_GetModelDefaults(0, &def);
    def.ddf = dict.get();
    int32_t model = 0;
    ASSERT_EQ(mda_AllocateModel(MDA_MEMORY_ONLY, &def, &model), 0);

    for (const ddfc::TypeLayout& layout : layouts) {
        SCOPED_TRACE(layout.tf);
        void* raw = nullptr;
        MDA_PTR p = 0;
        ASSERT_EQ(mda_AllocateEntity2(0, model, layout.tf, &raw, &p), 0);
        const char* body = static_cast<const char*>(raw);
        ASSERT_EQ(mda_TraverseEntity(MDA_TRAV_ALLOCATE, raw, SetCounts), 0);
        seen.clear();
        counts.assign(1, {});
        depth = 0;
        ASSERT_EQ(mda_TraverseEntity(0, raw, Collect), 0);

        // Top-level value descriptors of the type: each visited once, where
        // the compiler put it.
        const DDF_FIELD* first = dict.Fields(layout.tf);
        std::set<int64_t> expected_fields;
        int nesting = 0;
        for (size_t k = 0; k < layout.offsets.size(); ++k) {
            const int type = first[k].type;
            if (type == DDF_DERIVED) break;
            if (nesting == 0 && type >= DDF_SHORT && type <= DDF_COUNT)
                expected_fields.insert(static_cast<int64_t>(k));
            nesting += type == DDF_STRUCT ? 1 : type == DDF_ENDSTRUCT ? -1 : 0;
        }
        std::set<int64_t> visited;
        std::vector<std::pair<const char*, const char*>> ranges;
        for (const Seen& s : seen) {
            const char* at = Dynamic(s.field) ? s.slot : s.address;
            const bool in_body = at >= body && at < body + layout.size;
            if (s.depth == 0) {
                const int64_t k = s.field - first;
                EXPECT_TRUE(visited.insert(k).second) << "field " << k << " twice";
                EXPECT_EQ(at - body, layout.offsets[static_cast<size_t>(k)]) << "field " << k;
            }
            if (in_body) ranges.emplace_back(at, at + ValueBytes(s));
            if (s.expected >= 0) {
                EXPECT_EQ(s.count, s.expected) << "array " << s.field->number;
            }
        }
        EXPECT_EQ(visited, expected_fields);
        std::sort(ranges.begin(), ranges.end());
        for (size_t k = 0; k < ranges.size(); ++k) {
            EXPECT_GE(ranges[k].first, body + sizeof(MDA_ENTITY_HDR));
            EXPECT_LE(ranges[k].second, body + layout.size);
            if (k > 0) {
                EXPECT_LE(ranges[k - 1].second, ranges[k].first) << "overlap";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Dictionaries, TraversalLayout,
                         ::testing::Values("every.ddl", "clash.ddl", "config.ddl",
                                           "examples/iges.ddl", "examples/dxfi.ddl"));

} // namespace
