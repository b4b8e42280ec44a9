// The field walk over dictionaries compiled from source: exact event
// sequences of hand-worked types of every.ddl with defaults, visitor answers
// and a nested walk; the layout of every type of every dictionary in the
// tree under allocation failures; the debug walk and the model walk.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "ddfc/ddfc.h"
#include "mda/mda_int.h"
#include "support/compiled_dict.h"
#include "support/fixture.h"

namespace {

// What the recording visitor saw of a walk of body: the events as "count
// type field where" (where is b+N in the body, a+N from the pointer held at
// mda__TraverseAddr for a dynamic array, or left out for no address), their
// counts, and each value field with its offset (its pointer's, for a dynamic
// array).
struct Recorder {
    char* body = nullptr;
    std::string text, stop_at, skip_at; // the fields answered with MDA_STOP, MDA_SKIP
    std::vector<int32_t> counts;
    std::vector<std::pair<const DDF_FIELD*, int64_t>> values;
    char* inner = nullptr; // an entity walked at each event
} rec;

const MDA_FIELD_VISITOR kQuiet = [](void*, int32_t, int32_t, void*, DDF_FIELD*) { return 0; };

int32_t Record(void*, int32_t count, int32_t type, void* address, DDF_FIELD* field) {
    const char *at = static_cast<char*>(address), *taddr = static_cast<char*>(mda__TraverseAddr);
    const bool in_body = at >= rec.body && at < rec.body + mdamb::HeaderOf(rec.body, 0)->size - 40;
    const std::string name = field == nullptr ? ""
                             : field->name < 0
                                 ? " -"
                                 : std::string(" ") + ddf__Current->fld_names[field->name];
    rec.text += (rec.text.empty() ? "" : ", ") + std::to_string(count) + ' ' +
                ddf__FldData[type].name + name;
    if (at != nullptr)
        rec.text += in_body ? " b+" + std::to_string(at - rec.body)
                            : " a+" + std::to_string(at - *reinterpret_cast<char* const*>(taddr));
    rec.counts.push_back(count);
    if (type >= DDF_SHORT && type <= DDF_COUNT)
        rec.values.emplace_back(field, (in_body ? at : taddr) - rec.body);
    if (rec.inner != nullptr) { // a nested walk leaves the outer walk's state as it was
        int32_t* slots = ddf__Counters;
        DDF_DICT* dict = ddf__Current;
        EXPECT_EQ(mda_TraverseEntity(0, rec.inner, kQuiet), 0);
        EXPECT_TRUE(ddf__Counters == slots && mda__TraverseAddr == taddr && ddf__Current == dict);
    }
    return name == " " + rec.stop_at ? MDA_STOP : name == " " + rec.skip_at ? MDA_SKIP : 0;
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
    char* Make(int32_t tf) {
        void* body = nullptr;
        EXPECT_EQ(mda_AllocateEntity2(0, model_, tf, &body, &made_), 0);
        return static_cast<char*>(body);
    }
    static void Set(char* at, int32_t value) { std::memcpy(at, &value, 4); }
    static std::string Walk(int32_t mode, void* body, int32_t expect = 0) {
        rec = Recorder{static_cast<char*>(body), "", rec.stop_at, rec.skip_at, {}, {}, rec.inner};
        EXPECT_EQ(mda_TraverseEntity(mode, body, Record), expect);
        return rec.text;
    }
    mvxtest::CompiledDict every_;
    int32_t model_ = 0;
    MDA_PTR made_ = 0; // the entity Make made last
};

// Defaults (1:0); structs, a union by its selector (reset by defaults),
// struct and union arrays (3:0); lets, a let-sized and a derived array
// (4:0), with a walk of another entity from inside the visitor; references
// and a subentity (5:0), skipped, and with a stop inside it that ends the
// whole walk.
TEST_F(Traversal, HandWorkedTypesGiveTheirExactEvents) {
    void* one = nullptr; // a body of no entity
    ASSERT_EQ(mda_MallocEntity2(MDA_FILL_DEFAULTS, model_, MVX_TF(1, 0), &one), 0);
    const char* s = static_cast<char*>(one);
    const int16_t sh = -5;
    const int32_t il[2] = {1234, -1};
    const float f = static_cast<float>(M_PI);
    const double d[6] = {0, 0, 1, M_PI, M_PI / 2, M_PI / 4};
    EXPECT_TRUE(std::memcmp(s + 24, &sh, 2) == 0 && std::memcmp(s + 28, il, 8) == 0 &&
                std::memcmp(s + 36, &f, 4) == 0 && std::memcmp(s + 40, d, 48) == 0 && s[88] == 65);
    mda_FreeEntity(0, one);

    char* b = Make(MVX_TF(3, 0));
    Set(b + 40, 11); // shape: the member c.code (selectors are followed by padding)
    Set(b + 136, 1); // alt[1]: s.big
    Set(b + 88, 2);  // np
    const std::string pairs_and_alts =
        "1 struct pair b+104, 1 char  a b+104, 1 int b b+108, 0 endstruct, "
        "1 struct pair b+112, 1 char  a b+112, 1 int b b+116, 0 endstruct, "
        "1 union alt b+120, 1 short s.small b+128, 0 endunion, 1 union alt b+136, "
        "1 double s.big b+144, 0 endunion, 1 char  last b+152, 0 endent";
    EXPECT_EQ(Walk(MDA_TRAV_ALLOCATE, b),
              "1 short kind b+24, 1 struct geom b+32, 1 int id b+32, 1 union shape b+40, "
              "1 int c.code b+48, 0 endunion, 1 char  tag b+80, 0 endstruct, 1 count np b+88, "
              "1 struct vert a+0, 1 float x a+0, 1 float y a+4, 1 short w a+8, 0 endstruct, "
              "1 struct vert a+12, 1 float x a+12, 1 float y a+16, 1 short w a+20, 0 endstruct, " +
                  pairs_and_alts);
    // Defaults set the selectors to 0: shape is the struct member a.line. A
    // count of 0 frees the array and gives an empty pair of events.
    ASSERT_EQ(mda_DefaultEntity(0, b), 0);
    Set(b + 136, 1);
    Set(b + 88, 0);
    EXPECT_EQ(Walk(MDA_TRAV_FREE, b),
              "1 short kind b+24, 1 struct geom b+32, 1 int id b+32, 1 union shape b+40, "
              "1 struct a.line b+48, 1 double x1 b+48, 1 double y1 b+56, 1 double x2 b+64, "
              "1 double y2 b+72, 0 endstruct, 0 endunion, 1 char  tag b+80, 0 endstruct, "
              "1 count np b+88, 0 struct vert, 0 endstruct -, " +
                  pairs_and_alts);
    EXPECT_EQ(*reinterpret_cast<void**>(b + 96), nullptr);

    char* c = Make(MVX_TF(4, 0));
    Set(c + 24, 3); // w
    Set(c + 28, 4); // h
    rec.inner = Make(MVX_TF(3, 0));
    EXPECT_EQ(Walk(MDA_TRAV_ALLOCATE, c),
              "1 count w b+24, 1 count h b+28, 7 int cells a+0, 12 int wide a+0, 0 endent");
    const int32_t lets[2] = {7, 6}; // area (3 * 4 + 2) / 2, twice 3 + 3
    EXPECT_EQ(std::memcmp(c + 32, lets, 8), 0);
    rec.inner = nullptr;

    char* h = Make(MVX_TF(5, 0));
    const std::string head = "1 ptr first b+24, 1 ptr any b+32, 1 ptr maybe b+40, 1 ptr nothing "
                             "b+48, 1 int color b+56, 1 short style b+60, 1 subent where b+64",
                      x_y = ", 1 double x b+64, 1 double y b+72",
                      tail = ", 1 double since b+88, 1 int old b+96, 0 endent";
    EXPECT_EQ(Walk(0, h), head + x_y + ", 1 double z b+80, 0 endent" + tail);
    rec.skip_at = "where";
    EXPECT_EQ(Walk(0, h), head + tail);
    rec.skip_at = "";
    rec.stop_at = "y";
    EXPECT_EQ(Walk(0, h, MDA_STOP), head + x_y);
    EXPECT_TRUE(ddf__Counters == nullptr && mda__TraverseAddr == nullptr);
    // A body cut short: the walk stops at the first field that would leave it.
    void* cut = nullptr;
    ASSERT_EQ(mda_MallocEntity2(0, model_, MVX_TF(5, 0), &cut), 0);
    ASSERT_EQ(mda_Realloc(0, nullptr, cut, 52, &cut), 0);
    EXPECT_EQ(Walk(0, cut, MDA_INTERNAL_ERR), "1 ptr first b+24, 1 ptr any b+32, 1 ptr maybe b+40");
    mda_FreeEntity(0, cut);
}

// Every type of every dictionary in the tree, made with defaults, then its
// arrays sized as a walk sets each count field to 1, 2 or 3, with the n-th
// allocation failing for n = 1, 2, ... in turn: a failed making uses up no
// number; a failed walk keeps the arrays sized before the failure, and the
// one that failed is empty. The sized body is laid out as the compiler says:
// a walk visits each top-level value field once, in order, at its offset.
TEST_F(Traversal, EveryTypeIsLaidOutAsCompiledAndSizedUpToAFailure) {
    const MDA_FIELD_VISITOR set_counts = [](void*, int32_t, int32_t type, void* at, DDF_FIELD* f) {
        if (type == DDF_COUNT) Set(static_cast<char*>(at), 1 + (-f->dims[0].a) % 3);
        return 0;
    };
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
            std::vector<int32_t> full; // the event counts of a walk of the sized body
            void* body = nullptr;
            bool hit = false;
            for (long n = 0; n <= 1 || hit; ++n) { // nothing fails in the first run
                const int64_t next = mda__Model[model].next_entity;
                mvxc::SetAllocFailure(n);
                int32_t rc =
                    mda_AllocateEntity2(MDA_FILL_DEFAULTS, model, layout.tf, &body, &made_);
                if (rc == 0)
                    rc = mda_TraverseEntity(MDA_TRAV_FREE | MDA_TRAV_ALLOCATE, body, set_counts);
                hit = n > 0 && mvxc::AllocCount() >= n;
                mvxc::SetAllocFailure(0);
                ASSERT_EQ(rc, hit ? MDA_MALLOC_ERR : 0);
                if (body == nullptr) {
                    ASSERT_EQ(mda__Model[model].next_entity, next);
                    continue;
                }
                Walk(0, body);
                if (n == 0) full = rec.counts;
                const auto k =
                    std::mismatch(full.begin(), full.end(), rec.counts.begin(), rec.counts.end());
                ASSERT_EQ(hit, k.first != full.end());
                ASSERT_TRUE(!hit || *k.second == 0);
            }
            const DDF_FIELD* first = dict.Fields(layout.tf);
            std::map<int64_t, int64_t> want; // descriptor number: offset
            std::vector<std::pair<int64_t, int64_t>> got;
            for (int64_t k = 0, nesting = 0; first[k].type != DDF_ENDENT; ++k) {
                const int type = first[k].type;
                if (type == DDF_DERIVED) break; // the walk ends there
                if (nesting == 0 && type >= DDF_SHORT && type <= DDF_COUNT)
                    want[k] = layout.offsets[static_cast<size_t>(k)];
                nesting += type == DDF_STRUCT ? 1 : type == DDF_ENDSTRUCT ? -1 : 0;
            }
            for (const auto& [field, offset] : rec.values)
                if (want.count(field - first) != 0) got.emplace_back(field - first, offset);
            EXPECT_EQ(got, decltype(got)(want.begin(), want.end()));
        }
        ASSERT_EQ(mda_FreeModel(0, model), 0);
    }
}

// The debug walk prints each event of an entity; the model walk visits the
// live entities (not deleted nor reserved ones) forwards or backwards, each
// with the model's entity 0, until an answer other than 0.
TEST_F(Traversal, DebugWalkAndModelWalk) {
    char* b = Make(MVX_TF(6, 0)); // stays locked, so the dump sees this body
    char* text = nullptr;
    size_t size = 0;
    mda__DbgFile = open_memstream(&text, &size);
    EXPECT_EQ(mda_DbgTraverseEntity(0, made_) | mda_DbgTraverseEntity(0, MDA_NULL_PTR), 0);
    std::fclose(mda__DbgFile);
    mda__DbgFile = stdout;
    char want[200];
    std::snprintf(want, sizeof want, "\n2: cnt=1, double y, fld=%p, data=%p, taddr=(nil)\n3: ",
                  static_cast<void*>(every_.Field(MVX_TF(6, 0), 1)), static_cast<void*>(b + 32));
    EXPECT_NE(std::string(text, size).find(want), std::string::npos) << text;
    EXPECT_EQ(std::count(text, text + size, '\n'), 4);
    std::free(text);

    MDA_PTR made[3], again = 0;
    void* body = nullptr;
    for (MDA_PTR& p : made)
        ASSERT_EQ(mda_AllocateEntity2(MDA_ENTITY_UNLOCKED, model_, MVX_TF(6, 0), nullptr, &p), 0);
    // made[1] deleted, its number reserved again.
    ASSERT_EQ(mda_LockEntity(0, made[1], &body) | mda_UnlockEntity(MDA_UNLOCK_FREE, made[1]), 0);
    ASSERT_EQ(mda_ReserveEntity2(0, model_, &again), 0);
    static std::vector<MDA_PTR> seen; // the second answer of each walk is 1
    const MDA_MODEL_VISITOR visit = [](MDA_PTR p, MDA_PTR zero) -> int32_t {
        seen.push_back(zero == MDA_MAKE_PTR(MDA_PTR_MODEL(p), 0) ? p : 0);
        return seen.size() % 2 == 0;
    };
    EXPECT_EQ(mda_TraverseModel(0, model_, visit), MDA_STOP);
    EXPECT_EQ(mda_TraverseModel(1, model_, visit), MDA_STOP);
    EXPECT_EQ(mda_TraverseModel(0, 40, visit), 0);
    EXPECT_EQ(seen, (std::vector<MDA_PTR>{made_, made[0], made[2], made[0]}));
    EXPECT_EQ(again, made[1]);
}

} // namespace
