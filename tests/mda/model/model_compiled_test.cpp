// Models over dictionaries compiled from source (the DXF and IGES examples
// and every.ddl): bodies sized and laid out as the C structs of the entity
// types, array fields sized through their count slots, allocated and
// reallocated on the entity's block chain, the TF cache across a model
// switch, and entity numbering in two models on different dictionaries.
#include <cstddef>
#include <cstring>
#include <map>
#include <random>
#include <vector>

#include "mda/model_support.h"
#include "support/compiled_dict.h"
#include "support/tempdir.h"

namespace {

using modeltest::Expected;
using modeltest::ModelMatches;

// The bodies of some entity types as a C compiler lays them out; the
// dictionary's body sizes must agree.
struct DxfCommon {
    char* layer;
    char* ltype;
    int16_t color;
    double thickness;
    double extrusion[3];
};
struct DxfLine {
    MDA_ENTITY_HDR hdr;
    char handle[16];
    DxfCommon common;
    double start[3];
    double end[3];
};
struct DxfVertex {
    double x, y, start_width, end_width, bulge;
};
struct DxfLwpolyline {
    MDA_ENTITY_HDR hdr;
    char handle[16];
    DxfCommon common;
    MDA_COUNT n;
    int16_t flags;
    double const_width;
    double elevation;
    DxfVertex* vertex;
};
struct DxfInsert {
    MDA_ENTITY_HDR hdr;
    char handle[16];
    DxfCommon common;
    MDA_PTR block;
    double insert[3];
    double scale[3];
    double rotation;
    int16_t columns;
    int16_t rows;
    double col_spacing;
    double row_spacing;
    MDA_COUNT nattr;
    MDA_PTR* attribs;
};
struct IgesDe {
    int32_t line_font;
    int32_t level;
    MDA_PTR matrix;
    int32_t status;
    int32_t color;
    char label[8];
    int32_t subscript;
};
struct IgesLine {
    MDA_ENTITY_HDR hdr;
    IgesDe de;
    double x1, y1, z1, x2, y2, z2;
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
static_assert(sizeof(DxfCommon) == 56);
static_assert(offsetof(DxfLwpolyline, vertex) == 120);
static_assert(offsetof(IgesBspline, ctl) == 112);

class CompiledModel : public mvxtest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        ASSERT_EQ(ugn_SetEnv(0, "MORVEX_TMP", scratch_.path().c_str()), 0);
        ASSERT_TRUE(iges_.Load(mvxtest::ExamplePath("iges.ddl")));
        ASSERT_TRUE(dxfi_.Load(mvxtest::ExamplePath("dxfi.ddl")));
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
    mvxtest::CompiledDict dxfi_;
    mvxtest::CompiledDict every_;
};

TEST_F(CompiledModel, BodiesHaveTheSizesOfTheirCStructs) {
    const int32_t dxf = NewModel(dxfi_, "dxf");
    const int32_t iges = NewModel(iges_, "iges", 0); // with cache and paged file
    ASSERT_GT(dxf, 0);
    ASSERT_GT(iges, 0);
    struct Type {
        const mvxtest::CompiledDict* dict;
        int32_t model;
        int32_t tf;
        std::size_t size;
    };
    const std::vector<Type> types = {
        {&dxfi_, dxf, MVX_TF(10, 0), sizeof(DxfLine)},
        {&dxfi_, dxf, MVX_TF(14, 0), sizeof(DxfLwpolyline)},
        {&dxfi_, dxf, MVX_TF(16, 0), sizeof(DxfInsert)},
        {&dxfi_, dxf, MVX_TF(1, 0), 24 + sizeof(DxfCommon)},
        {&iges_, iges, MVX_TF(110, 0), sizeof(IgesLine)},
        {&iges_, iges, MVX_TF(126, 0), sizeof(IgesBspline)},
        {&iges_, iges, MVX_TF(0, 0), 24 + sizeof(IgesDe)},
    };
    for (const Type& t : types) {
        SCOPED_TRACE(t.tf);
        EXPECT_EQ((*t.dict)->ent_sizes[t.dict->Tfi(t.tf)], t.size);
        void* body = Create(t.model, *t.dict, t.tf);
        ASSERT_NE(body, nullptr);
        EXPECT_EQ(static_cast<std::size_t>(BodyBytes(body)), t.size);
        // A new body is zero-filled behind its header.
        const auto* bytes = static_cast<const uint8_t*>(body);
        for (std::size_t k = sizeof(MDA_ENTITY_HDR); k < t.size; ++k)
            ASSERT_EQ(bytes[k], 0) << "byte " << k;
    }
    // The last member of each struct is the last bytes of the body: writing
    // it stays within the block (the sanitizer build would see otherwise).
    void* body = Create(dxf, dxfi_, MVX_TF(16, 0));
    auto* insert = static_cast<DxfInsert*>(body);
    insert->nattr = 2;
    ASSERT_EQ(mda_Malloc(0, body, 2 * sizeof(MDA_PTR), reinterpret_cast<void**>(&insert->attribs)),
              0);
    insert->attribs[1] = MDA_MAKE_PTR(dxf, 1);
    EXPECT_EQ(mda__DbgCheckEntityMBlocks(0, body), 0);
    EXPECT_EQ(Blocks(body), 2);

    // An lwpolyline's vertices: a plain block of n structures of 40 bytes.
    ddf__Current = dxfi_.get();
    DDF_FIELD* vertex = nullptr;
    ASSERT_EQ(ddf_GetFieldFromName("vertex", MVX_TF(14, 0), &vertex), 0);
    EXPECT_EQ(vertex->key, static_cast<int16_t>(sizeof(DxfVertex)));
    EXPECT_EQ(vertex->flags, DDF_ARRAY | DDF_PTRFIXED);
    auto* poly = static_cast<DxfLwpolyline*>(Create(dxf, dxfi_, MVX_TF(14, 0)));
    ASSERT_NE(poly, nullptr);
    poly->n = 7;
    ASSERT_EQ(mda_Malloc(0, poly, 7 * sizeof(DxfVertex), reinterpret_cast<void**>(&poly->vertex)),
              0);
    poly->vertex[6].bulge = 0.5;
    std::vector<int32_t> slots(DDF_COUNT_SLOTS, 0);
    slots[-vertex->dims[0].a] = poly->n;
    ddf__Counters = slots.data();
    int32_t dims[5] = {};
    int32_t count = 0;
    ASSERT_EQ(mda_GetFieldDims(vertex, poly->vertex, dims, &count), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(dims[0], 7);
    int32_t bytes = 0;
    ASSERT_EQ(mda_GetArraySize(1, poly->vertex, &bytes), 0);
    EXPECT_EQ(bytes, 7 * 40);
    EXPECT_EQ(mda__DbgCheckEntityMBlocks(0, poly), 0);
    EXPECT_EQ(mpm__LastError, 0);
}

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

// A small dictionary that holds IGES's line type at another TFI than the
// IGES dictionary does, to show the TF cache never answers for the wrong
// dictionary.
constexpr const char* kShifted = R"(dictionary shifted;
entity 110:0 line "A line at TFI 0" {
    float x1;
    float y1;
}
entity 111:0 other { int k; }
)";

TEST_F(CompiledModel, ModelSwitchResetsTheTfCache) {
    const std::string source = scratch_ / "shifted.ddl";
    std::ofstream(source) << kShifted;
    mvxtest::CompiledDict shifted;
    ASSERT_TRUE(shifted.Load(source));
    const int32_t a = NewModel(iges_, "iges");
    const int32_t b = NewModel(shifted, "shifted");
    ASSERT_GT(b, 0);
    const int32_t line = MVX_TF(110, 0);
    const int32_t iges_tfi = iges_.Tfi(line);
    ASSERT_GT(iges_tfi, 0);
    ASSERT_EQ(shifted.Tfi(line), 0);

    ASSERT_EQ(mda_SetCurModel(a, 0), 0);
    EXPECT_EQ(ddf__Current, iges_.get());
    EXPECT_EQ(ddf__SavedTF, MVX_NULL_TF);
    DDF_FIELD* field = nullptr;
    ASSERT_EQ(ddf_GetFieldFromName("x1", line, &field), 0);
    EXPECT_EQ(field, iges_.Field(line, 1));
    EXPECT_EQ(ddf__SavedTF, line);
    EXPECT_EQ(ddf__SavedTFI, iges_tfi);

    ASSERT_EQ(mda_SetCurModel(b, 0), 0);
    EXPECT_EQ(ddf__Current, shifted.get());
    EXPECT_EQ(ddf__SavedTF, MVX_NULL_TF);
    ASSERT_EQ(ddf_GetFieldFromName("x1", line, &field), 0);
    EXPECT_EQ(field, shifted.Field(line, 0));
    EXPECT_EQ(ddf__SavedTFI, 0);
    EXPECT_EQ(ddf_GetFieldFromName("z1", line, &field), DDF_NOT_FOUND);

    // A stale cache (a dictionary switched by hand, without the reset)
    // still finds the right descriptor.
    ddf__SavedTF = line;
    ddf__SavedTFI = iges_tfi;
    ASSERT_EQ(ddf_GetFieldFromName("y1", line, &field), 0);
    EXPECT_EQ(field, shifted.Field(line, 1));

    // Creating in the other model takes that model's dictionary for the
    // body and leaves the current one in place.
    void* body = Create(a, iges_, line);
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(BodyBytes(body), static_cast<int32_t>(sizeof(IgesLine)));
    EXPECT_EQ(ddf__Current, shifted.get());
    body = Create(b, shifted, line);
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(BodyBytes(body), 32); // header and two floats
    ASSERT_EQ(mda_SetCurModel(a, 0), 0);
    EXPECT_EQ(ddf__SavedTF, MVX_NULL_TF);
    ASSERT_EQ(ddf_GetFieldFromName("y1", line, &field), 0);
    EXPECT_EQ(field, iges_.Field(line, 2));
    // No current model: the dictionary pointers stay as they were.
    DDF_DICT* const saved = ddf__TempDDF;
    ASSERT_EQ(mda_SetCurModel(0, 0), 0);
    EXPECT_EQ(mda__CurModel, nullptr);
    EXPECT_EQ(ddf__Current, iges_.get());
    EXPECT_EQ(ddf__TempDDF, saved);
    mda_FreeModel(0, b); // before its dictionary goes
    EXPECT_EQ(mpm__LastError, 0);
}

// Entities of random types created in two models on different dictionaries
// and released at random, against a reference of each model's directory;
// each model numbers its entities on its own, reusing released numbers
// last-freed first.
TEST_F(CompiledModel, NumberingAcrossTwoModelsOnDifferentDictionaries) {
    struct Side {
        const mvxtest::CompiledDict* dict;
        int32_t model = 0;
        std::map<int64_t, Expected> ref;
        std::vector<int64_t> live;
        std::vector<int64_t> freed;
        int64_t next = 1;
    };
    Side sides[2];
    sides[0].dict = &iges_;
    sides[1].dict = &dxfi_;
    sides[0].model = NewModel(iges_, "iges");
    sides[1].model = NewModel(dxfi_, "dxf");
    ASSERT_GT(sides[1].model, sides[0].model);
    std::mt19937 rng(20240611);
    for (int step = 0; step < 1500; ++step) {
        Side& s = sides[rng() % 2];
        const DDF_DICT* d = s.dict->get();
        if (rng() % 4 != 0 || s.live.empty()) {
            const int32_t tf = d->typeforms[rng() % static_cast<uint32_t>(d->type_count)];
            const bool unlocked = rng() % 2 == 0;
            int64_t expect = s.freed.empty() ? s.next : s.freed.back();
            void* body = nullptr;
            MDA_PTR p = 0;
            ASSERT_EQ(
                mda_AllocateEntity2(unlocked ? MDA_ENTITY_UNLOCKED : 0, s.model, tf, &body, &p), 0);
            ASSERT_EQ(p, MDA_MAKE_PTR(s.model, expect)) << "step " << step;
            const auto* h = static_cast<const MDA_ENTITY_HDR*>(body);
            ASSERT_EQ(h->tfi, s.dict->Tfi(tf));
            ASSERT_EQ(BodyBytes(body), d->ent_sizes[h->tfi]);
            if (s.freed.empty()) {
                ++s.next;
            } else {
                s.freed.pop_back();
            }
            s.ref[expect] = {unlocked ? MDA_NEW | MDA_NEEDFLUSH
                                      : MDA_NEW | MDA_RWLOCK | MDA_MODIFIED | MDA_NEEDFLUSH |
                                            MDA_LOCK_ONE,
                             tf, true};
            s.live.push_back(expect);
        } else {
            const std::size_t at = rng() % s.live.size();
            const int64_t n = s.live[at];
            s.live[at] = s.live.back();
            s.live.pop_back();
            MDA_DIR_ENTRY* e = mda__GetEntDir(s.model, n);
            ASSERT_NE(e, nullptr);
            ASSERT_EQ(mda_FreeEntity(0, e->mloc), 0);
            ASSERT_EQ(mda::ReleaseNumber(s.model, n, false), 0);
            s.ref.erase(n);
            s.freed.push_back(n);
        }
        for (const Side& c : sides)
            ASSERT_TRUE(ModelMatches(c.model, c.ref, c.next)) << "step " << step;
    }
    // Each body's TFI is its own dictionary's, whatever the other holds.
    for (const Side& c : sides) {
        for (int64_t n : c.live) {
            const auto* h = static_cast<const MDA_ENTITY_HDR*>(mda__GetEntDir(c.model, n)->mloc);
            ASSERT_EQ(c.dict->get()->typeforms[h->tfi], h->tf);
            int32_t type = 0;
            int32_t form = 0;
            ASSERT_EQ(mda_ReadTypeForm(h->own, &type, &form), 0);
            EXPECT_EQ(MVX_TF(type, form), h->tf);
        }
    }
    EXPECT_GT(sides[0].next, 100);
    EXPECT_GT(sides[1].next, 100);
}

} // namespace
