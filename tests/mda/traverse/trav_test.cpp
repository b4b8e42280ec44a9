// The field walk over dictionaries compiled from source: exact event
// sequences of hand-worked types of every.ddl, a layout property over every
// type of every dictionary in the tree, visitor answers and a nested walk,
// defaults, the debug walk, the model walk, and allocation failures.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "ddfc/ddfc.h"
#include "mda/mda_int.h"
#include "support/compiled_dict.h"
#include "support/fixture.h"

namespace {

struct Event {
    const DDF_FIELD* field;
    int32_t count, type, depth;
    const char* at;    // the event's address
    const char* taddr; // mda__TraverseAddr at the event
};
struct Recorder {
    std::vector<Event> events;
    int32_t depth = 0; // structs and subentities entered
    std::string stop_at, skip_at;
    void (*hook)(const std::string&) = nullptr;
} rec;

std::string Name(const DDF_FIELD* f) {
    return f == nullptr ? "null" : f->name < 0 ? "-" : ddf__Current->fld_names[f->name];
}
bool Dynamic(const DDF_FIELD* f) {
    return (f->flags & DDF_ARRAY) != 0 && (f->flags & DDF_FIXED) == 0;
}

int32_t Record(void*, int32_t count, int32_t type, void* address, DDF_FIELD* field) {
    if (type == DDF_ENDSTRUCT || type == DDF_ENDUNION || (type == DDF_ENDENT && rec.depth > 0))
        --rec.depth;
    rec.events.push_back({field, count, type, rec.depth, static_cast<char*>(address),
                          static_cast<char*>(mda__TraverseAddr)});
    if (type == DDF_STRUCT || type == DDF_UNIONTYPE || type == DDF_SUBENT) ++rec.depth;
    if (rec.hook != nullptr) rec.hook(Name(field));
    if (Name(field) == rec.stop_at) return MDA_STOP;
    return Name(field) == rec.skip_at ? MDA_SKIP : 0;
}

// "count type field where": where is b+N in the body, a+N from the pointer
// held at mda__TraverseAddr (a dynamic array), or null.
std::vector<std::string> Text(const char* body) {
    std::vector<std::string> out;
    const int32_t size = mdamb::HeaderOf(body, false)->size - 40;
    for (const Event& e : rec.events) {
        std::ostringstream s;
        s << e.count << ' ' << ddf__FldData[e.type].name << ' ' << Name(e.field) << ' ';
        if (e.at == nullptr)
            s << "null";
        else if (e.at >= body && e.at < body + size)
            s << "b+" << e.at - body;
        else
            s << "a+" << e.at - *reinterpret_cast<char* const*>(e.taddr);
        out.push_back(s.str());
    }
    return out;
}

int32_t SetCounts(void*, int32_t, int32_t type, void* address, DDF_FIELD* field) {
    if (type != DDF_COUNT) return 0;
    const int32_t value = 1 + (-field->dims[0].a) % 3;
    std::memcpy(address, &value, 4);
    return 0;
}
int32_t Quiet(void*, int32_t, int32_t, void*, DDF_FIELD*) {
    return 0;
}

class Traversal : public mvxtest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        rec = Recorder{};
        ASSERT_TRUE(every_.Load(mvxtest::TestDataPath("every.ddl")));
        model_ = NewModel(every_.get());
    }
    static int32_t NewModel(DDF_DICT* dict) {
        MDA_MODEL_DEF def;
        mda_GetModelDefaults(0, &def);
        def.ddf = dict;
        int32_t model = 0;
        EXPECT_EQ(mda_AllocateModel(MDA_MEMORY_ONLY, &def, &model), 0);
        return model;
    }
    char* Make(int32_t tf, int32_t model = 0, MDA_PTR* db_ptr = nullptr) {
        void* body = nullptr;
        MDA_PTR p = 0;
        EXPECT_EQ(mda_AllocateEntity2(0, model ? model : model_, tf, &body, &p), 0);
        if (db_ptr != nullptr) *db_ptr = p;
        return static_cast<char*>(body);
    }
    std::vector<std::string> Walk(int32_t mode, char* body, int32_t expect = 0) {
        rec.events.clear();
        rec.depth = 0;
        EXPECT_EQ(mda_TraverseEntity(mode, body, Record), expect);
        ddf__Current = every_.get(); // for the names in Text
        return Text(body);
    }
    mvxtest::CompiledDict every_;
    int32_t model_ = 0;
};
using Texts = std::vector<std::string>;

TEST_F(Traversal, StructsUnionsAndStructArraysGiveTheirExactEvents) {
    char* b = Make(MVX_TF(3, 0));
    const int16_t code = 11, big = 1; // shape: the member c.code; alt[1]: s.big
    const int32_t np = 2;
    std::memcpy(b + 40, &code, 2);
    std::memcpy(b + 136, &big, 2);
    std::memcpy(b + 88, &np, 4);
    EXPECT_EQ(Walk(MDA_TRAV_ALLOCATE, b),
              (Texts{"1 short kind b+24",     "1 struct geom b+32",    "1 int id b+32",
                     "1 union shape b+40",    "1 int c.code b+48",     "0 endunion null null",
                     "1 char  tag b+80",      "0 endstruct null null", "1 count np b+88",
                     "1 struct vert a+0",     "1 float x a+0",         "1 float y a+4",
                     "1 short w a+8",         "0 endstruct null null", "1 struct vert a+12",
                     "1 float x a+12",        "1 float y a+16",        "1 short w a+20",
                     "0 endstruct null null", "1 struct pair b+104",   "1 char  a b+104",
                     "1 int b b+108",         "0 endstruct null null", "1 struct pair b+112",
                     "1 char  a b+112",       "1 int b b+116",         "0 endstruct null null",
                     "1 union alt b+120",     "1 short s.small b+128", "0 endunion null null",
                     "1 union alt b+136",     "1 double s.big b+144",  "0 endunion null null",
                     "1 char  last b+152",    "0 endent null null"}));
    // Selector 0 is the struct member a.line; a count of 0 frees the array
    // and gives an empty pair of events.
    std::memset(b + 40, 0, 2);
    std::memset(b + 88, 0, 4);
    const Texts got = Walk(MDA_TRAV_FREE, b);
    EXPECT_EQ(
        Texts(got.begin() + 3, got.begin() + 16),
        (Texts{"1 union shape b+40", "1 struct a.line b+48", "1 double x1 b+48", "1 double y1 b+56",
               "1 double x2 b+64", "1 double y2 b+72", "0 endstruct null null",
               "0 endunion null null", "1 char  tag b+80", "0 endstruct null null",
               "1 count np b+88", "0 struct vert null", "0 endstruct - null"}));
    EXPECT_EQ(*reinterpret_cast<void**>(b + 96), nullptr);
}

TEST_F(Traversal, LetsDerivedFieldsSubentitiesAndVisitorAnswers) {
    char* c = Make(MVX_TF(4, 0));
    const int32_t wh[2] = {3, 4}, lets[2] = {7, 6}; // area (3 * 4 + 2) / 2, twice 3 + 3
    std::memcpy(c + 24, wh, 8);
    EXPECT_EQ(Walk(MDA_TRAV_ALLOCATE, c),
              (Texts{"1 count w b+24", "1 count h b+28", "7 int cells a+0", "12 int wide a+0",
                     "0 endent null null"}));
    EXPECT_EQ(std::memcmp(c + 32, lets, 8), 0);

    char* h = Make(MVX_TF(5, 0));
    const Texts all = {"1 ptr first b+24",    "1 ptr any b+32",     "1 ptr maybe b+40",
                       "1 ptr nothing b+48",  "1 int color b+56",   "1 short style b+60",
                       "1 subent where b+64", "1 double x b+64",    "1 double y b+72",
                       "1 double z b+80",     "0 endent null null", "1 double since b+88",
                       "1 int old b+96",      "0 endent null null"};
    EXPECT_EQ(Walk(0, h), all);
    rec.skip_at = "where";
    Texts skipped = all;
    skipped.erase(skipped.begin() + 7, skipped.begin() + 11);
    EXPECT_EQ(Walk(0, h), skipped);
    rec.stop_at = "y"; // inside the subentity: the whole walk stops
    rec.skip_at = "";
    EXPECT_EQ(Walk(0, h, MDA_STOP), Texts(all.begin(), all.begin() + 9));
    EXPECT_EQ(ddf__Counters, nullptr);
    EXPECT_EQ(mda__TraverseAddr, nullptr);
    // A body cut short: the walk stops at the first field that would leave it.
    void* cut = nullptr;
    ASSERT_EQ(mda_MallocEntity2(0, model_, MVX_TF(5, 0), &cut), 0);
    ASSERT_EQ(mda_Realloc(0, nullptr, cut, 60, &cut), 0);
    EXPECT_EQ(mda_TraverseEntity(0, cut, Quiet), MDA_INTERNAL_ERR);
    mda_FreeEntity(0, cut);
}

// A walk of an entity of another model from inside a visitor leaves the
// outer walk's count slots, traversal address and dictionary as they were.
char* g_inner = nullptr;
TEST_F(Traversal, NestedWalkFromAVisitorRestoresTheOuterWalk) {
    mvxtest::CompiledDict iges;
    ASSERT_TRUE(iges.Load(mvxtest::ExamplePath("iges.ddl")));
    const int32_t other = NewModel(iges.get());
    g_inner = Make(iges->typeforms[iges->type_count - 1], other);
    char* c = Make(MVX_TF(4, 0));
    const int32_t wh[2] = {2, 5};
    std::memcpy(c + 24, wh, 8);
    const Texts plain = Walk(MDA_TRAV_ALLOCATE, c);
    rec.hook = [](const std::string& field) {
        if (field != "h" && field != "cells") return;
        int32_t* slots = ddf__Counters;
        void* taddr = mda__TraverseAddr;
        DDF_DICT* dict = ddf__Current;
        EXPECT_EQ(mda_TraverseEntity(0, g_inner, Quiet), 0);
        EXPECT_TRUE(ddf__Counters == slots && mda__TraverseAddr == taddr && ddf__Current == dict);
    };
    EXPECT_EQ(Walk(0, c), plain);
    mda_FreeModel(0, other);
}

// After its arrays are sized (each count set by the visitor), a mode-0 walk
// of every type of every dictionary visits each top-level value field once
// at the offset the compiler laid it out at; value bytes never overlap or
// leave the body; dynamic arrays have the length of their count fields.
TEST_F(Traversal, ValueEventsTileEveryBodyAsTheCompilerLaidItOut) {
    for (const std::string& path :
         {mvxtest::TestDataPath("every.ddl"), mvxtest::TestDataPath("clash.ddl"),
          mvxtest::TestDataPath("config.ddl"), mvxtest::ExamplePath("iges.ddl"),
          mvxtest::ExamplePath("dxfi.ddl")}) {
        mvxtest::CompiledDict dict;
        ASSERT_TRUE(dict.Load(path));
        std::stringstream source;
        source << std::ifstream(path).rdbuf();
        std::vector<ddfc::TypeLayout> layouts;
        std::vector<ddfc::Diagnostic> diags;
        ASSERT_TRUE(ddfc::Layout(source.str(), &layouts, &diags));
        ASSERT_EQ(layouts.size(), static_cast<size_t>(dict->type_count));
        const int32_t model = NewModel(dict.get());
        for (const ddfc::TypeLayout& layout : layouts) {
            SCOPED_TRACE(path + " " + std::to_string(layout.tf >> 16));
            char* body = Make(layout.tf, model);
            ASSERT_EQ(mda_TraverseEntity(MDA_TRAV_ALLOCATE, body, SetCounts), 0);
            rec = Recorder{};
            ASSERT_EQ(mda_TraverseEntity(0, body, Record), 0);
            const DDF_FIELD* first = dict.Fields(layout.tf);
            std::set<int64_t> want, got;
            for (int64_t k = 0, nesting = 0; first[k].type != DDF_ENDENT; ++k) {
                const int type = first[k].type;
                if (type == DDF_DERIVED) break;
                if (nesting == 0 && type >= DDF_SHORT && type <= DDF_COUNT) want.insert(k);
                nesting += type == DDF_STRUCT ? 1 : type == DDF_ENDSTRUCT ? -1 : 0;
            }
            std::vector<std::pair<const char*, const char*>> bytes;
            std::map<int32_t, int32_t> slots; // top-level count fields' values
            for (const Event& e : rec.events) {
                if (e.type < DDF_SHORT || e.type > DDF_COUNT) continue;
                const char* at = Dynamic(e.field) ? e.taddr : e.at;
                const int64_t k = e.field - first;
                if (e.depth == 0) {
                    EXPECT_TRUE(got.insert(k).second) << "field " << k << " twice";
                    EXPECT_EQ(at - body, layout.offsets[static_cast<size_t>(k)]) << "field " << k;
                }
                const int64_t size = e.type == DDF_FSTRING ? e.field->dims[e.field->dim_count - 1].a
                                                           : ddf__FldData[e.type].size;
                if (at >= body && at < body + layout.size)
                    bytes.emplace_back(at, at + (Dynamic(e.field) ? 8 : e.count * size));
                if (e.type == DDF_COUNT && e.depth == 0)
                    std::memcpy(&slots[-e.field->dims[0].a], e.at, 4);
                // A dynamic array of one dimension sized by a count has its length.
                const DDF_DIMEXPR& d0 = e.field->dims[0];
                if (e.depth == 0 && Dynamic(e.field) && (e.field->flags & DDF_UNSIZED) == 0 &&
                    e.field->dim_count == 1 + (e.type == DDF_FSTRING) && d0.op == 'e' &&
                    slots.count(-d0.a) != 0) {
                    EXPECT_EQ(e.count, slots[-d0.a]) << "array " << k;
                }
            }
            EXPECT_EQ(got, want);
            std::sort(bytes.begin(), bytes.end());
            for (size_t k = 0; k < bytes.size(); ++k) {
                EXPECT_TRUE(bytes[k].first >= body + 24 && bytes[k].second <= body + layout.size);
                EXPECT_TRUE(k == 0 || bytes[k - 1].second <= bytes[k].first) << "overlap " << k;
            }
        }
        ASSERT_EQ(mda_FreeModel(0, model), 0);
    }
}

TEST_F(Traversal, DefaultsFillEveryFieldAndFailWithoutUsingANumber) {
    void* body = nullptr;
    ASSERT_EQ(mda_MallocEntity2(MDA_FILL_DEFAULTS, model_, MVX_TF(1, 0), &body), 0);
    const char* s = static_cast<char*>(body);
    const int16_t sh = -5;
    const int32_t il[2] = {1234, -1};
    const float f = static_cast<float>(M_PI);
    const double d[6] = {0, 0, 1, M_PI, M_PI / 2, M_PI / 4};
    EXPECT_TRUE(std::memcmp(s + 24, &sh, 2) == 0 && std::memcmp(s + 28, il, 8) == 0 &&
                std::memcmp(s + 36, &f, 4) == 0 && std::memcmp(s + 40, d, 48) == 0 && s[88] == 65);
    mda_FreeEntity(0, body);
    char* u = Make(MVX_TF(3, 0)); // a union selector is reset
    std::memset(u + 40, 0x7F, 2);
    ASSERT_EQ(mda_DefaultEntity(0, u), 0);
    EXPECT_EQ(u[40] | u[41], 0);
    // 2:0 gets two arrays (plus[n + 1], pfix[4]); a failure uses up no number.
    const int64_t next = mda__Model[model_].next_entity;
    mvxtest::FailEachAllocation(
        [&] {
            void* e = nullptr;
            MDA_PTR p = 0;
            int32_t rc = mda_AllocateEntity2(MDA_FILL_DEFAULTS, model_, MVX_TF(2, 0), &e, &p);
            int32_t size = 0;
            if (rc == 0)
                mda_GetArraySize(1, *reinterpret_cast<void**>(static_cast<char*>(e) + 208), &size);
            EXPECT_TRUE(rc == 0 ? size == 4
                                : rc == MDA_MALLOC_ERR && e == nullptr &&
                                      mda__Model[model_].next_entity == next);
        },
        [](bool) {});
}

// Array allocation failing part-way: the walk returns the failure, the
// arrays before it keep their new sizes and those after it stay empty.
TEST_F(Traversal, AllocationFailureKeepsTheArraysAlreadySized) {
    const int32_t nm[2] = {3, 2};
    char* whole = Make(MVX_TF(2, 0));
    std::memcpy(whole + 24, nm, 8);
    ASSERT_EQ(mda_TraverseEntity(MDA_TRAV_ALLOCATE, whole, Quiet), 0);
    const Texts full = Walk(0, whole);
    long n = 1;
    for (bool hit = true; hit; ++n) {
        char* b = Make(MVX_TF(2, 0));
        std::memcpy(b + 24, nm, 8);
        mvxc::SetAllocFailure(n);
        const int32_t rc = mda_TraverseEntity(MDA_TRAV_ALLOCATE, b, Quiet);
        hit = mvxc::AllocCount() >= n;
        mvxc::SetAllocFailure(0);
        EXPECT_EQ(rc, hit ? MDA_MALLOC_ERR : 0);
        const Texts after = Walk(0, b);
        ASSERT_EQ(after.size(), full.size());
        size_t k = std::mismatch(full.begin(), full.end(), after.begin()).first - full.begin();
        EXPECT_EQ(k == full.size(), !hit);
        for (; k < full.size(); ++k) // sized later: still empty
            EXPECT_TRUE(after[k] == full[k] || after[k].rfind("0 ", 0) == 0) << after[k];
    }
    EXPECT_GE(n, 10);
}

TEST_F(Traversal, DebugWalkPrintsEveryEvent) {
    MDA_PTR p = 0;
    char* b = Make(MVX_TF(6, 0), 0, &p); // stays locked, so the dump sees this body
    mda__DbgFile = std::tmpfile();
    EXPECT_EQ(mda_DbgTraverseEntity(0, p) | mda_DbgTraverseEntity(0, MDA_NULL_PTR), 0);
    char text[1024] = {}, want[1024] = {};
    std::rewind(mda__DbgFile);
    text[std::fread(text, 1, sizeof text - 1, mda__DbgFile)] = 0;
    std::fclose(mda__DbgFile);
    mda__DbgFile = stdout;
    void* const none = nullptr;
    for (int k = 0; k < 3; ++k)
        std::snprintf(want + std::strlen(want), 200,
                      "%d: cnt=1, double %c, fld=%p, data=%p, taddr=%p\n", k + 1, "xyz"[k],
                      static_cast<void*>(every_.Field(MVX_TF(6, 0), k)),
                      static_cast<void*>(b + 24 + 8 * k), none);
    std::snprintf(want + std::strlen(want), 200,
                  "4: cnt=0, endent **No name**, fld=%p, data=%p, taddr=%p\n", none, none, none);
    EXPECT_STREQ(text, want);
}

std::vector<MDA_PTR> g_seen;
int32_t Seen(MDA_PTR p, MDA_PTR zero) {
    g_seen.push_back(p);
    EXPECT_EQ(zero, MDA_MAKE_PTR(MDA_PTR_MODEL(p), 0));
    return g_seen.size() == 4;
}
TEST_F(Traversal, ModelWalkVisitsLiveEntitiesBothWays) {
    std::vector<MDA_PTR> made(5);
    void* body = nullptr;
    for (MDA_PTR& p : made)
        ASSERT_EQ(mda_AllocateEntity2(MDA_ENTITY_UNLOCKED, model_, MVX_TF(6, 0), nullptr, &p), 0);
    for (int k : {1, 3}) // deleted, then the number of the second reserved again
        ASSERT_EQ(mda_LockEntity(0, made[k], &body) | mda_UnlockEntity(MDA_UNLOCK_FREE, made[k]),
                  0);
    ASSERT_EQ(mda_ReserveEntity2(0, model_, &made[3]), 0);
    EXPECT_EQ(mda_TraverseModel(0, model_, Seen), 0);
    EXPECT_EQ(g_seen, (std::vector<MDA_PTR>{made[0], made[2], made[4]}));
    g_seen = {};
    EXPECT_EQ(mda_TraverseModel(1, model_, Seen) | mda_TraverseModel(0, 40, Seen), 0);
    EXPECT_EQ(g_seen, (std::vector<MDA_PTR>{made[4], made[2], made[0]}));
    EXPECT_EQ(mda_TraverseModel(1, model_, Seen), MDA_STOP); // the 4th answer stops
    EXPECT_EQ(g_seen.size(), 4u);
}

} // namespace
