// The field walk over dictionaries compiled from source: exact event
// sequences of hand-worked types, a layout property over every type of every
// dictionary, visitor answers and nested walks, defaults, the model walk,
// and array allocation under allocation failure.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ddfc/ddfc.h"
#include "mda/mda_int.h"
#include "support/compiled_dict.h"
#include "support/fixture.h"
#include "support/tempdir.h"

namespace {

// What the recording visitor saw and how it answers.
struct Recorder {
    const char* body = nullptr;
    std::vector<std::string> events;
    std::string stop_at, skip_at; // answer MDA_STOP / MDA_SKIP at this field
    void (*hook)(const std::string&) = nullptr;
};
Recorder rec;

std::string Name(const DDF_FIELD* f) {
    if (f == nullptr) return "null";
    return f->name < 0 ? "-" : ddf__Current->fld_names[f->name];
}

// "count type field where": where is b+N inside the body, a+N from the
// pointer held at mda__TraverseAddr (a dynamic array), or null.
int32_t Record(void* entity, int32_t count, int32_t type, void* address, DDF_FIELD* field) {
    const char* at = static_cast<const char*>(address);
    const auto* body = static_cast<const char*>(entity);
    std::ostringstream s;
    s << count << ' ' << ddf__FldData[type].name << ' ' << Name(field) << ' ';
    const int32_t size = static_cast<int32_t>(mdamb::HeaderOf(body, false)->size) - 40;
    if (at == nullptr) {
        s << "null";
    } else if (at >= body && at < body + size) {
        s << "b+" << at - body;
    } else {
        s << "a+" << at - *static_cast<char**>(mda__TraverseAddr);
    }
    rec.events.push_back(s.str());
    if (rec.hook != nullptr) rec.hook(Name(field));
    if (Name(field) == rec.stop_at) return MDA_STOP;
    if (Name(field) == rec.skip_at) return MDA_SKIP;
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
    char* Make(int32_t tf, int32_t model = 0) {
        void* body = nullptr;
        MDA_PTR p = 0;
        EXPECT_EQ(mda_AllocateEntity2(0, model ? model : model_, tf, &body, &p), 0);
        return static_cast<char*>(body);
    }
    std::vector<std::string> Walk(int32_t mode, char* body, int32_t expect = 0) {
        rec.events.clear();
        EXPECT_EQ(mda_TraverseEntity(mode, body, Record), expect);
        return rec.events;
    }
    mvxtest::TempDir scratch_;
    mvxtest::CompiledDict every_;
    int32_t model_ = 0;
};

using Events = std::vector<std::string>;

TEST_F(Traversal, StructsUnionsAndStructArraysGiveTheirExactEvents) {
    char* b = Make(MVX_TF(3, 0));
    int16_t code = 11, big = 1; // shape: the member c.code; alt[1]: s.big
    std::memcpy(b + 40, &code, 2);
    std::memcpy(b + 136, &big, 2);
    int32_t np = 2;
    std::memcpy(b + 88, &np, 4);
    const Events want = {
        "1 short kind b+24", "1 struct geom b+32", "1 int id b+32", "1 union shape b+40",
        "1 int c.code b+48", "0 endunion null null", "1 char  tag b+80", "0 endstruct null null",
        "1 count np b+88", "1 struct vert a+0", "1 float x a+0", "1 float y a+4", "1 short w a+8",
        "0 endstruct null null", "1 struct vert a+12", "1 float x a+12", "1 float y a+16",
        "1 short w a+20", "0 endstruct null null", "1 struct pair b+104", "1 char  a b+104",
        "1 int b b+108", "0 endstruct null null", "1 struct pair b+112", "1 char  a b+112",
        "1 int b b+116", "0 endstruct null null", "1 union alt b+120", "1 short s.small b+128",
        "0 endunion null null", "1 union alt b+136", "1 double s.big b+144",
        "0 endunion null null", "1 char  last b+152", "0 endent null null"};
    EXPECT_EQ(Walk(MDA_TRAV_ALLOCATE, b), want);
    // Selector 0 walks the struct member a.line; a count of 0 gives an
    // empty pair of events, and the array is freed.
    code = 0;
    np = 0;
    std::memcpy(b + 40, &code, 2);
    std::memcpy(b + 88, &np, 4);
    const Events line = {"1 union shape b+40",    "1 struct a.line b+48", "1 double x1 b+48",
                         "1 double y1 b+56",      "1 double x2 b+64",     "1 double y2 b+72",
                         "0 endstruct null null", "0 endunion null null", "1 char  tag b+80"};
    const Events got = Walk(MDA_TRAV_FREE, b);
    EXPECT_EQ(Events(got.begin() + 3, got.begin() + 12), line);
    EXPECT_EQ(Events(got.begin() + 13, got.begin() + 16),
              (Events{"1 count np b+88", "0 struct vert null", "0 endstruct - null"}));
    EXPECT_EQ(*reinterpret_cast<void**>(b + 96), nullptr);
}

TEST_F(Traversal, LetsDerivedFieldsSubentitiesAndVisitorAnswers) {
    char* c = Make(MVX_TF(4, 0));
    const int32_t wh[2] = {3, 4};
    std::memcpy(c + 24, wh, 8);
    EXPECT_EQ(Walk(MDA_TRAV_ALLOCATE, c),
              (Events{"1 count w b+24", "1 count h b+28", "7 int cells a+0", "12 int wide a+0",
                      "0 endent null null"}));
    int32_t lets[2];
    std::memcpy(lets, c + 32, 8);
    EXPECT_EQ(lets[0], 7); // (3 * 4 + 2) / 2
    EXPECT_EQ(lets[1], 6);

    char* h = Make(MVX_TF(5, 0));
    const Events all = {"1 ptr first b+24", "1 ptr any b+32",    "1 ptr maybe b+40",
                        "1 ptr nothing b+48", "1 int color b+56", "1 short style b+60",
                        "1 subent where b+64", "1 double x b+64",  "1 double y b+72",
                        "1 double z b+80",    "0 endent null null", "1 double since b+88",
                        "1 int old b+96",     "0 endent null null"};
    EXPECT_EQ(Walk(0, h), all);
    rec.skip_at = "where";
    Events skipped = all;
    skipped.erase(skipped.begin() + 7, skipped.begin() + 11);
    EXPECT_EQ(Walk(0, h), skipped);
    rec.skip_at = "";
    rec.stop_at = "y"; // inside the subentity: the whole walk stops
    EXPECT_EQ(Walk(0, h, MDA_STOP), Events(all.begin(), all.begin() + 9));
    EXPECT_EQ(ddf__Counters, nullptr);
    EXPECT_EQ(mda__TraverseAddr, nullptr);
}

// A walk of another entity from inside a visitor leaves the outer walk's
// count slots, traversal address and dictionary as they were.
char* g_inner = nullptr;
int32_t Quiet(void*, int32_t, int32_t, void*, DDF_FIELD*) {
    return 0;
}
TEST_F(Traversal, NestedWalkFromAVisitorRestoresTheOuterWalk) {
    mvxtest::CompiledDict iges;
    ASSERT_TRUE(iges.Load(mvxtest::ExamplePath("iges.ddl")));
    const int32_t other = NewModel(iges.get());
    ASSERT_EQ(mda_SetCurModel(model_, 0), 0);
    g_inner = Make(iges->typeforms[iges->type_count - 1], other);
    char* c = Make(MVX_TF(4, 0));
    const int32_t wh[2] = {2, 5};
    std::memcpy(c + 24, wh, 8);
    const Events plain = Walk(MDA_TRAV_ALLOCATE, c);
    rec.hook = [](const std::string& field) {
        if (field != "h" && field != "cells") return;
        int32_t* slots = ddf__Counters;
        void* taddr = mda__TraverseAddr;
        DDF_DICT* dict = ddf__Current;
        EXPECT_EQ(mda_TraverseEntity(0, g_inner, Quiet), 0);
        EXPECT_EQ(ddf__Counters, slots);
        EXPECT_EQ(mda__TraverseAddr, taddr);
        EXPECT_EQ(ddf__Current, dict);
    };
    EXPECT_EQ(Walk(0, c), plain);
    EXPECT_EQ(ddf__Current, every_.get());
    mda_FreeModel(0, other);
}

TEST_F(Traversal, DefaultsFillEveryFieldAndFailWithoutLeaks) {
    void* body = nullptr;
    ASSERT_EQ(mda_MallocEntity2(MDA_FILL_DEFAULTS, model_, MVX_TF(1, 0), &body), 0);
    const char* s = static_cast<char*>(body);
    int16_t sh;
    int32_t i, l;
    float f;
    double d[6];
    std::memcpy(&sh, s + 24, 2);
    std::memcpy(&i, s + 28, 4);
    std::memcpy(&l, s + 32, 4);
    std::memcpy(&f, s + 36, 4);
    std::memcpy(d, s + 40, sizeof d);
    EXPECT_EQ(sh, -5);
    EXPECT_EQ(i, 1234);
    EXPECT_EQ(l, -1);
    EXPECT_FLOAT_EQ(f, static_cast<float>(M_PI));
    EXPECT_EQ(std::vector<double>(d, d + 6),
              (std::vector<double>{0, 0, 1, M_PI, M_PI / 2, M_PI / 4}));
    EXPECT_EQ(s[88], 65);
    mda_FreeEntity(0, body);

    // A union selector is reset; the pointer array of 4 chars is allocated,
    // and its allocation failing fails the whole operation and uses up no
    // number.
    char* u = Make(MVX_TF(3, 0));
    std::memset(u + 40, 0x7F, 2);
    ASSERT_EQ(mda_DefaultEntity(0, u), 0);
    EXPECT_EQ(u[40] | u[41], 0);
    const int64_t next = mda__Model[model_].next_entity;
    mvxtest::FailEachAllocation(
        [&] {
            void* e = nullptr;
            MDA_PTR p = 0;
            const int32_t rc = mda_AllocateEntity2(MDA_FILL_DEFAULTS, model_, MVX_TF(2, 0), &e, &p);
            if (rc == 0) {
                int32_t size = 0;
                mda_GetArraySize(1, *reinterpret_cast<void**>(static_cast<char*>(e) + 208), &size);
                EXPECT_EQ(size, 4);
            } else {
                EXPECT_EQ(rc, MDA_MALLOC_ERR);
                EXPECT_EQ(e, nullptr);
                EXPECT_EQ(mda__Model[model_].next_entity, next);
            }
        },
        [](bool) {});
}

// Array allocation failing part-way: the walk returns the failure and the
// arrays before it keep their new sizes, the ones after stay null.
TEST_F(Traversal, AllocationFailureKeepsTheArraysAlreadySized) {
    const int32_t nm[2] = {3, 2};
    const Events full = [&] {
        char* b = Make(MVX_TF(2, 0));
        std::memcpy(b + 24, nm, 8);
        Walk(MDA_TRAV_ALLOCATE, b);
        return Walk(0, b);
    }();
    long failures = 0;
    for (long n = 1; n < 100; ++n) {
        char* b = Make(MVX_TF(2, 0));
        std::memcpy(b + 24, nm, 8);
        mvxc::SetAllocFailure(n);
        const int32_t rc = mda_TraverseEntity(MDA_TRAV_ALLOCATE, b, Quiet);
        const bool hit = mvxc::AllocCount() >= n;
        mvxc::SetAllocFailure(0);
        if (!hit) {
            EXPECT_EQ(rc, 0);
            break;
        }
        ++failures;
        EXPECT_EQ(rc, MDA_MALLOC_ERR);
        const Events after = Walk(0, b);
        ASSERT_EQ(after.size(), full.size());
        size_t differ = 0;
        while (differ < full.size() && after[differ] == full[differ])
            ++differ;
        ASSERT_LT(differ, full.size());
        for (size_t k = differ; k < full.size(); ++k) // sized later: still empty
            if (after[k] != full[k]) {
                EXPECT_EQ(after[k].substr(0, 2), "0 ") << after[k];
            }
    }
    EXPECT_GE(failures, 9);
}

TEST_F(Traversal, ModelWalkVisitsLiveEntitiesBothWays) {
    std::vector<MDA_PTR> made;
    for (int k = 0; k < 5; ++k) {
        MDA_PTR p = 0;
        ASSERT_EQ(mda_AllocateEntity2(MDA_ENTITY_UNLOCKED, model_, MVX_TF(6, 0), nullptr, &p), 0);
        made.push_back(p);
    }
    for (int k : {1, 3}) {
        void* body = nullptr;
        ASSERT_EQ(mda_LockEntity(0, made[k], &body), 0);
        ASSERT_EQ(mda_UnlockEntity(MDA_UNLOCK_FREE, made[k]), 0);
    }
    MDA_PTR reserved = 0;
    ASSERT_EQ(mda_ReserveEntity2(0, model_, &reserved), 0);
    static std::vector<MDA_PTR> seen;
    static size_t stop_after = 0;
    auto visit = [](MDA_PTR p, MDA_PTR zero) -> int32_t {
        EXPECT_EQ(zero, MDA_MAKE_PTR(MDA_PTR_MODEL(p), 0));
        seen.push_back(p);
        return seen.size() == stop_after;
    };
    seen.clear();
    EXPECT_EQ(mda_TraverseModel(0, model_, visit), 0);
    EXPECT_EQ(seen, (std::vector<MDA_PTR>{made[0], made[2], made[4]}));
    seen.clear();
    EXPECT_EQ(mda_TraverseModel(1, model_, visit), 0);
    EXPECT_EQ(seen, (std::vector<MDA_PTR>{made[4], made[2], made[0]}));
    seen.clear();
    stop_after = 2;
    EXPECT_EQ(mda_TraverseModel(0, model_, visit), MDA_STOP);
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_EQ(mda_TraverseModel(0, 40, visit), 0);
}

} // namespace
