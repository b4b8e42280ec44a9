// The field walk over dictionaries compiled from source: exact event
// sequences of hand-worked types of every.ddl with visitor answers and a
// nested walk, a layout property over every type of every dictionary in the
// tree, defaults, the debug walk, the model walk, and allocation failures.
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
    const char *at, *taddr; // the event's address, mda__TraverseAddr at the event
};
struct Recorder {
    std::vector<Event> events;
    int32_t depth = 0;            // structs and subentities entered
    std::string stop_at, skip_at; // the fields answered with MDA_STOP, MDA_SKIP
    char* inner = nullptr;        // an entity of another model walked at each event
} rec;

int32_t Quiet(void*, int32_t, int32_t, void*, DDF_FIELD*) {
    return 0;
}
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
    if (rec.inner != nullptr) { // a nested walk leaves the outer walk's state as it was
        int32_t* slots = ddf__Counters;
        void* taddr = mda__TraverseAddr;
        DDF_DICT* dict = ddf__Current;
        EXPECT_EQ(mda_TraverseEntity(0, rec.inner, Quiet), 0);
        EXPECT_TRUE(ddf__Counters == slots && mda__TraverseAddr == taddr && ddf__Current == dict);
    }
    const std::string name = Name(field);
    return name == rec.stop_at ? MDA_STOP : name == rec.skip_at ? MDA_SKIP : 0;
}

// Sets each count field to 1, 2 or 3 as the walk sizing the arrays meets it.
int32_t SetCounts(void*, int32_t, int32_t type, void* address, DDF_FIELD* field) {
    if (type != DDF_COUNT) return 0;
    const int32_t value = 1 + (-field->dims[0].a) % 3;
    std::memcpy(address, &value, 4);
    return 0;
}

using Texts = std::vector<std::string>;

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
    char* Make(int32_t tf, int32_t model = 0) {
        void* body = nullptr;
        EXPECT_EQ(mda_AllocateEntity2(0, model ? model : model_, tf, &body, &made_), 0);
        return static_cast<char*>(body);
    }
    // The events of a walk as "count type field where": where is b+N in the
    // body, a+N from the pointer held at mda__TraverseAddr (a dynamic
    // array), or null.
    Texts Walk(int32_t mode, char* body, int32_t expect = 0) {
        rec.events.clear();
        rec.depth = 0;
        EXPECT_EQ(mda_TraverseEntity(mode, body, Record), expect);
        ddf__Current = every_.get(); // for the names
        Texts out;
        for (const Event& e : rec.events) {
            std::ostringstream s;
            s << e.count << ' ' << ddf__FldData[e.type].name << ' ' << Name(e.field) << ' ';
            if (e.at == nullptr)
                s << "null";
            else if (e.at >= body && e.at < body + mdamb::HeaderOf(body, false)->size - 40)
                s << "b+" << e.at - body;
            else
                s << "a+" << e.at - *reinterpret_cast<char* const*>(e.taddr);
            out.push_back(s.str());
        }
        return out;
    }
    mvxtest::CompiledDict every_;
    int32_t model_ = 0;
    MDA_PTR made_ = 0; // the entity Make made last
};

// Whole event sequences of hand-worked types: structs, a union by its
// selector, struct and union arrays (3:0); lets, a let-sized and a derived
// array (4:0), also with a walk of an entity of another model made from
// inside the visitor; references and a subentity (5:0), with a field
// skipped and a stop inside the subentity that ends the whole walk.
TEST_F(Traversal, HandWorkedTypesGiveTheirExactEvents) {
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
    const Texts freed = Walk(MDA_TRAV_FREE, b);
    for (const Texts& part :
         {Texts{"1 union shape b+40", "1 struct a.line b+48", "1 double x1 b+48"},
          Texts{"1 count np b+88", "0 struct vert null", "0 endstruct - null"}})
        EXPECT_NE(std::search(freed.begin(), freed.end(), part.begin(), part.end()), freed.end());
    EXPECT_EQ(*reinterpret_cast<void**>(b + 96), nullptr);

    char* c = Make(MVX_TF(4, 0));
    const int32_t wh[2] = {3, 4}, lets[2] = {7, 6}; // area (3 * 4 + 2) / 2, twice 3 + 3
    std::memcpy(c + 24, wh, 8);
    const Texts computed = {"1 count w b+24", "1 count h b+28", "7 int cells a+0",
                            "12 int wide a+0", "0 endent null null"};
    EXPECT_EQ(Walk(MDA_TRAV_ALLOCATE, c), computed);
    EXPECT_EQ(std::memcmp(c + 32, lets, 8), 0);
    mvxtest::CompiledDict iges;
    ASSERT_TRUE(iges.Load(mvxtest::ExamplePath("iges.ddl")));
    const int32_t other = NewModel(iges.get());
    rec.inner = Make(iges->typeforms[iges->type_count - 1], other);
    EXPECT_EQ(Walk(0, c), computed);
    rec.inner = nullptr;
    EXPECT_EQ(mda_FreeModel(0, other), 0);

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
    rec.skip_at.clear();
    rec.stop_at = "y";
    EXPECT_EQ(Walk(0, h, MDA_STOP), Texts(all.begin(), all.begin() + 9));
    EXPECT_TRUE(ddf__Counters == nullptr && mda__TraverseAddr == nullptr);
    // A body cut short: the walk stops at the first field that would leave it.
    void* cut = nullptr;
    ASSERT_EQ(mda_MallocEntity2(0, model_, MVX_TF(5, 0), &cut), 0);
    ASSERT_EQ(mda_Realloc(0, nullptr, cut, 60, &cut), 0);
    EXPECT_EQ(mda_TraverseEntity(0, cut, Quiet), MDA_INTERNAL_ERR);
    mda_FreeEntity(0, cut);
}

// After its arrays are sized, a mode-0 walk of every type of every
// dictionary visits each top-level value field once at the offset the
// compiler laid it out at; value bytes never overlap or leave the body; an
// array of one dimension sized by a count field has the count's length.
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
            std::map<int32_t, int32_t> counts; // the top-level count fields by slot
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
                const DDF_DIMEXPR& d0 = e.field->dims[0];
                if (e.type == DDF_COUNT && e.depth == 0) std::memcpy(&counts[-d0.a], e.at, 4);
                if (e.depth == 0 && Dynamic(e.field) && (e.field->flags & DDF_UNSIZED) == 0 &&
                    e.field->dim_count == 1 + (e.type == DDF_FSTRING) && d0.op == 'e' &&
                    counts.count(-d0.a) != 0) {
                    EXPECT_EQ(e.count, counts[-d0.a]) << "array " << k;
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

// Defaults fill every field and reset a union selector. Making 2:0 with
// defaults (arrays plus[n + 1] and pfix[4]) and then sizing its arrays for
// n = 3, m = 2, with an allocation failing part-way: a failed making uses
// up no number; a failed walk keeps the arrays already sized, and those
// after stay empty.
TEST_F(Traversal, DefaultsAndAllocationFailures) {
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
    char* u = Make(MVX_TF(3, 0));
    std::memset(u + 40, 0x7F, 2);
    ASSERT_EQ(mda_DefaultEntity(0, u), 0);
    EXPECT_EQ(u[40] | u[41], 0);

    const int64_t next = mda__Model[model_].next_entity;
    mvxtest::FailEachAllocation(
        [&] {
            int32_t size = 0, rc = mda_AllocateEntity2(MDA_FILL_DEFAULTS, model_, MVX_TF(2, 0),
                                                       &body, &made_);
            if (rc == 0)
                mda_GetArraySize(1, *reinterpret_cast<void**>(static_cast<char*>(body) + 208),
                                 &size);
            EXPECT_TRUE(rc == 0 ? size == 4
                                : rc == MDA_MALLOC_ERR && body == nullptr &&
                                      mda__Model[model_].next_entity == next);
        },
        [](bool) {});
    const int32_t nm[2] = {3, 2};
    char* whole = Make(MVX_TF(2, 0));
    std::memcpy(whole + 24, nm, 8);
    ASSERT_EQ(mda_TraverseEntity(MDA_TRAV_ALLOCATE, whole, Quiet), 0);
    const Texts full = Walk(0, whole);
    long failures = 0;
    for (bool hit = true; hit; ++failures) {
        char* b = Make(MVX_TF(2, 0));
        std::memcpy(b + 24, nm, 8);
        mvxc::SetAllocFailure(failures + 1);
        const int32_t rc = mda_TraverseEntity(MDA_TRAV_ALLOCATE, b, Quiet);
        hit = mvxc::AllocCount() > failures;
        mvxc::SetAllocFailure(0);
        const Texts after = Walk(0, b);
        ASSERT_EQ(after.size(), full.size());
        size_t k = std::mismatch(full.begin(), full.end(), after.begin()).first - full.begin();
        EXPECT_TRUE(rc == (hit ? MDA_MALLOC_ERR : 0) && (k == full.size()) == !hit);
        for (; k < full.size(); ++k) // sized later: still empty
            EXPECT_TRUE(after[k] == full[k] || after[k].rfind("0 ", 0) == 0) << after[k];
    }
    EXPECT_GE(failures, 9);
}

TEST_F(Traversal, DebugWalkPrintsEveryEvent) {
    char* b = Make(MVX_TF(6, 0)); // stays locked, so the dump sees this body
    mda__DbgFile = std::tmpfile();
    EXPECT_EQ(mda_DbgTraverseEntity(0, made_) | mda_DbgTraverseEntity(0, MDA_NULL_PTR), 0);
    char text[1024] = {}, want[200] = {};
    std::rewind(mda__DbgFile);
    text[std::fread(text, 1, sizeof text - 1, mda__DbgFile)] = 0;
    std::fclose(mda__DbgFile);
    mda__DbgFile = stdout;
    void* const none = nullptr;
    std::snprintf(want, sizeof want, "\n2: cnt=1, double y, fld=%p, data=%p, taddr=%p\n",
                  static_cast<void*>(every_.Field(MVX_TF(6, 0), 1)), static_cast<void*>(b + 32),
                  none);
    EXPECT_NE(std::strstr(text, want), nullptr) << text;
    EXPECT_NE(std::strstr(text, "\n4: cnt=0, endent **No name**, fld="), nullptr) << text;
    EXPECT_EQ(std::count(text, text + std::strlen(text), '\n'), 4);
}

// The model walk visits the live entities (not deleted nor reserved ones)
// forwards or backwards, each with the model's entity 0, until an answer
// other than 0.
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
