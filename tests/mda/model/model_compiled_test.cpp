// Models over dictionaries compiled from source (the IGES example and
// every.ddl): array fields sized through their count slots, allocated and
// reallocated on the entity's block chain, also under allocation failure,
// and the TF cache across a model switch.
#include <cstddef>
#include <cstring>
#include <vector>

#include "mda/model_support.h"
#include "support/compiled_dict.h"
#include "support/tempdir.h"

namespace {

// Bodies of IGES types as a C compiler lays them out.
struct IgesDe {
    int32_t line_font;
    int32_t level;
    MDA_PTR matrix;
    int32_t status;
    int32_t color;
    char label[8];
    int32_t subscript;
};
struct IgesBspline {
    MDA_ENTITY_HDR hdr;
    IgesDe de;
    MDA_COUNT k, m;
    int32_t prop1, prop2, prop3, prop4;
    MDA_COUNT nk, np;
    double* knots;
    double* weights;
    double** ctl;
    double v0, v1;
    double normal[3];
};
static_assert(sizeof(MDA_ENTITY_HDR) == 24);
static_assert(offsetof(IgesBspline, ctl) == 112);

class CompiledModel : public mvxtest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        ASSERT_EQ(ugn_SetEnv(0, "MORVEX_TMP", scratch_.path().c_str()), 0);
        ASSERT_TRUE(iges_.Load(mvxtest::ExamplePath("iges.ddl")));
        ASSERT_TRUE(every_.Load(mvxtest::TestDataPath("every.ddl")));
    }
    void TearDown() override {
        ddf__Counters = nullptr;
        LibraryTest::TearDown(); // frees the models while the dictionaries live
    }
    static int32_t NewModel(const mvxtest::CompiledDict& dict, const char* name,
                            uint32_t options = MDA_MEMORY_ONLY) {
        MDA_MODEL_DEF def;
        mda_GetModelDefaults(0, &def);
        def.ddf = dict.get();
        std::strncpy(def.name, name, sizeof def.name - 1);
        int32_t model = 0;
        EXPECT_EQ(mda_AllocateModel(options, &def, &model), 0);
        return model;
    }
    // Creates a locked entity and checks its header against the dictionary.
    void* Create(int32_t model, const mvxtest::CompiledDict& dict, int32_t tf,
                 MDA_PTR* db_ptr = nullptr) {
        void* body = nullptr;
        MDA_PTR p = 0;
        EXPECT_EQ(mda_AllocateEntity2(0, model, tf, &body, &p), 0);
        if (body == nullptr) return nullptr;
        const auto* h = static_cast<const MDA_ENTITY_HDR*>(body);
        EXPECT_EQ(h->tf, tf);
        EXPECT_EQ(h->tfi, dict.Tfi(tf));
        EXPECT_EQ(h->own, p);
        EXPECT_EQ(h->origin, p);
        EXPECT_EQ(MDA_PTR_MODEL(p), model);
        if (db_ptr != nullptr) *db_ptr = p;
        return body;
    }
    // Data bytes of the body's block: the dictionary's body size.
    static int32_t BodyBytes(const void* body) {
        int32_t size = -1;
        EXPECT_EQ(mda_GetArraySize(1, body, &size), 0);
        return size;
    }
    // Number of blocks chained behind the body (the body's own included).
    static int Blocks(void* body) {
        int n = 0;
        for (const MDA_MBLOCK* b = reinterpret_cast<const MDA_MBLOCK*>(
                 static_cast<const uint8_t*>(body) - sizeof(MDA_MBLOCK));
             b != nullptr && n < 1000; b = b->next)
            ++n;
        return n;
    }

    mvxtest::TempDir scratch_;
    mvxtest::CompiledDict iges_;
    mvxtest::CompiledDict every_;
};

// Array fields of every.ddl's 2:0 with n = 6 and m = 4 in their count slots.
// Pointers in the body: pts@128 plus@136 minus@144 times@152 half@160
// mat@168 cube@176 tags@184 any@192 five@200 pfix@208.
TEST_F(CompiledModel, ArrayFieldDimsAllocationAndReallocation) {
    const int32_t model = NewModel(every_, "every");
    ASSERT_GT(model, 0);
    void* body = Create(model, every_, MVX_TF(2, 0));
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(BodyBytes(body), 216);
    auto* at = static_cast<uint8_t*>(body);
    auto slot_of = [&](std::size_t offset) { return reinterpret_cast<void**>(at + offset); };
    std::vector<int32_t> slots(DDF_COUNT_SLOTS, 0);
    slots[1] = 6; // n
    slots[2] = 4; // m
    ddf__Counters = slots.data();
    ddf__Current = every_.get();

    auto dims_of = [&](const char* name, const void* array) {
        DDF_FIELD* field = nullptr;
        EXPECT_EQ(ddf_GetFieldFromName(name, MVX_TF(2, 0), &field), 0) << name;
        int32_t dims[5] = {-9, -9, -9, -9, -9};
        int32_t count = -1;
        EXPECT_EQ(mda_GetFieldDims(field, array, dims, &count), 0) << name;
        return std::vector<int32_t>(dims, dims + (count > 0 ? count : 0));
    };
    using V = std::vector<int32_t>;
    EXPECT_EQ(dims_of("fixed", nullptr), (V{3}));
    EXPECT_EQ(dims_of("grid", nullptr), (V{2, 3}));
    EXPECT_EQ(dims_of("names", nullptr), (V{4}));
    EXPECT_EQ(dims_of("pts", nullptr), (V{6}));
    EXPECT_EQ(dims_of("plus", nullptr), (V{7}));
    EXPECT_EQ(dims_of("minus", nullptr), (V{5}));
    EXPECT_EQ(dims_of("times", nullptr), (V{18}));
    EXPECT_EQ(dims_of("half", nullptr), (V{3}));
    EXPECT_EQ(dims_of("mat", nullptr), (V{4, 6}));
    EXPECT_EQ(dims_of("cube", nullptr), (V{4, 2, 6}));
    EXPECT_EQ(dims_of("tags", nullptr), (V{6}));
    EXPECT_EQ(dims_of("any", nullptr), (V{0})); // unsized, nothing allocated
    EXPECT_EQ(dims_of("five", nullptr), (V{2, 2, 2, 2, 6}));
    EXPECT_EQ(dims_of("pfix", nullptr), (V{4}));

    // Allocate each pointer-held field as its dimensions say.
    ASSERT_EQ(mda_Malloc(0, body, 6 * 8, slot_of(128)), 0);
    ASSERT_EQ(mda_MallocArray(0, body, 8, slot_of(168), 2, 4, 6), 0);
    ASSERT_EQ(mda_CallocArray(0, body, 2, slot_of(176), 3, 4, 2, 6), 0);
    ASSERT_EQ(mda_Malloc(0, body, 6 * 12, slot_of(184)), 0);
    ASSERT_EQ(mda_Malloc(0, body, 7, slot_of(192)), 0); // 7 bytes hold 8: two ints
    ASSERT_EQ(mda_MallocArray(0, body, 8, slot_of(200), 5, 2, 2, 2, 2, 6), 0);
    ASSERT_EQ(mda_Malloc(0, body, 4, slot_of(208)), 0);
    EXPECT_EQ(Blocks(body), 8);
    EXPECT_EQ(mda__DbgCheckEntityMBlocks(0, body), 0);
    EXPECT_EQ(dims_of("any", *slot_of(192)), (V{2}));

    auto mat = [&] { return static_cast<double**>(*slot_of(168)); };
    auto pts = [&] { return static_cast<double*>(*slot_of(128)); };
    auto five = static_cast<double*****>(*slot_of(200));
    int32_t size = 0;
    ASSERT_EQ(mda_GetArraySize(2, mat(), &size), 0);
    EXPECT_EQ(size, 4 * 6 * 8);
    ASSERT_EQ(mda_GetArraySize(2, five, &size), 0);
    EXPECT_EQ(size, 16 * 6 * 8);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 6; ++j)
            mat()[i][j] = i * 10 + j;
    for (int i = 0; i < 6; ++i)
        pts()[i] = i + 0.5;
    five[1][1][1][1][5] = 42.0;
    static_cast<short***>(*slot_of(176))[3][1][5] = 7;

    // m grows to 5, n to 8: the arrays follow.
    slots[1] = 8;
    slots[2] = 5;
    ASSERT_EQ(mda_ReallocArray(0, body, mat(), 8, slot_of(168), 2, 5, 8), 0);
    ASSERT_EQ(mda_Realloc(0, body, pts(), 8 * 8, slot_of(128)), 0);
    EXPECT_EQ(mda__DbgCheckEntityMBlocks(0, body), 0);
    EXPECT_EQ(Blocks(body), 8);
    EXPECT_EQ(dims_of("mat", mat()), (V{5, 8}));
    ASSERT_EQ(mda_GetArraySize(2, mat(), &size), 0);
    EXPECT_EQ(size, 5 * 8 * 8);
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 8; ++j)
            ASSERT_EQ(mat()[i][j], i < 4 && j < 6 ? i * 10 + j : 0.0) << i << " " << j;
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(pts()[i], i + 0.5);
    ASSERT_EQ(mda_GetArraySize(1, pts(), &size), 0);
    EXPECT_EQ(size, 64);

    // The cube shrinks to 2 x 2 x 3 and keeps what both shapes hold.
    auto* cube = static_cast<short***>(*slot_of(176));
    cube[1][1][2] = 11;
    ASSERT_EQ(mda_ReallocArray(0, body, cube, 2, slot_of(176), 3, 2, 2, 3), 0);
    cube = static_cast<short***>(*slot_of(176));
    EXPECT_EQ(cube[1][1][2], 11);
    slots[1] = 3;
    slots[2] = 2;
    EXPECT_EQ(dims_of("cube", cube), (V{2, 2, 3}));

    // The unsized field reads its length from the block after a realloc.
    ASSERT_EQ(mda_Realloc(0, body, *slot_of(192), 40, slot_of(192)), 0);
    EXPECT_EQ(dims_of("any", *slot_of(192)), (V{10}));
    EXPECT_EQ(five[1][1][1][1][5], 42.0); // untouched by the others' moves
    EXPECT_EQ(mda__DbgCheckEntityMBlocks(0, body), 0);
    EXPECT_EQ(Blocks(body), 8);

    // Freeing one array unlinks it and leaves the chain whole.
    ASSERT_EQ(mda_Free(MDA_FREE_ARRAY, body, *slot_of(168)), 0);
    *slot_of(168) = nullptr;
    EXPECT_EQ(Blocks(body), 7);
    EXPECT_EQ(mda__DbgCheckEntityMBlocks(0, body), 0);
    EXPECT_EQ(mpm__LastError, 0);
}

// Fail the 1st, 2nd, ... allocation of growing the arrays of an IGES
// B-spline in turn, until the calls go through: each failure reports, leaves
// the chain whole and the old arrays with their contents, and leaks nothing
// (the sanitizer build checks that).
TEST_F(CompiledModel, ArrayGrowthOfABsplineSurvivesEachAllocationFailure) {
    const int32_t model = NewModel(iges_, "iges");
    auto* s = static_cast<IgesBspline*>(Create(model, iges_, MVX_TF(126, 0)));
    ASSERT_NE(s, nullptr);
    s->k = 3;
    s->m = 2;
    s->np = s->k + 1;
    ASSERT_EQ(mda_Malloc(0, s, s->np * 8, reinterpret_cast<void**>(&s->weights)), 0);
    ASSERT_EQ(mda_MallocArray(0, s, 8, reinterpret_cast<void**>(&s->ctl), 2, s->np, 3), 0);
    for (int i = 0; i < s->np; ++i) {
        s->weights[i] = i + 1;
        for (int j = 0; j < 3; ++j)
            s->ctl[i][j] = i * 3 + j;
    }
    auto intact = [&](int rows) {
        EXPECT_EQ(mda__DbgCheckEntityMBlocks(0, s), 0);
        for (int i = 0; i < rows; ++i) {
            ASSERT_EQ(s->weights[i], i < 4 ? i + 1.0 : 0.0) << i;
            for (int j = 0; j < 3; ++j)
                ASSERT_EQ(s->ctl[i][j], i < 4 ? i * 3.0 + j : 0.0) << i << " " << j;
        }
    };
    int failures = 0;
    for (long n = 1; n < 50; ++n) {
        double* old_weights = s->weights;
        double** old_ctl = s->ctl;
        mvxc::SetAllocFailure(n);
        int32_t status =
            mda_ReallocArray(0, s, s->ctl, 8, reinterpret_cast<void**>(&s->ctl), 2, 7, 3);
        if (status == 0)
            status = mda_Realloc(0, s, s->weights, 7 * 8, reinterpret_cast<void**>(&s->weights));
        mvxc::SetAllocFailure(0);
        if (status == 0) {
            intact(7);
            break;
        }
        ++failures;
        EXPECT_EQ(status, MDA_REALLOC_ERR) << "allocation " << n;
        EXPECT_EQ(mpm__LastError, MDA_REALLOC_ERR);
        mpm_ClearStack(0);
        mpm__LastError = 0;
        // The array that did grow keeps its new shape; the other its old.
        if (s->ctl == old_ctl) {
            EXPECT_EQ(s->weights, old_weights);
            intact(4);
        } else {
            intact(4);
            EXPECT_EQ(s->ctl[6][2], 0.0);
            // Put the grown array back to four rows for the next round.
            ASSERT_EQ(mda_ReallocArray(0, s, s->ctl, 8, reinterpret_cast<void**>(&s->ctl), 2, 4, 3),
                      0);
        }
    }
    EXPECT_GE(failures, 2); // at least one failure inside each call
    EXPECT_EQ(Blocks(s), 3);
}

} // namespace
