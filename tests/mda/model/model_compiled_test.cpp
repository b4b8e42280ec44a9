// A model over a dictionary compiled from source (every.ddl): array fields
// sized through their count slots and expressions, allocated and
// reallocated on the entity's block chain as their dimensions change.
#include <cstddef>
#include <vector>

#include "mda/mblock_check.h"
#include "mda/mda_int.h"
#include "support/compiled_dict.h"
#include "support/fixture.h"
#include "support/tempdir.h"

namespace {

using V = std::vector<int32_t>;

class CompiledModel : public mvxtest::LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        ASSERT_EQ(ugn_SetEnv(0, "MORVEX_TMP", scratch_.path().c_str()), 0);
        ASSERT_TRUE(every_.Load(mvxtest::TestDataPath("every.ddl")));
    }
    void TearDown() override {
        ddf__Counters = nullptr;
        LibraryTest::TearDown(); // frees the models while the dictionary lives
    }
    // The dimensions of a field of 2:0 as the count slots give them.
    V DimsOf(const char* name, const void* array) {
        DDF_FIELD* field = nullptr;
        EXPECT_EQ(ddf_GetFieldFromName(name, MVX_TF(2, 0), &field), 0) << name;
        int32_t dims[5] = {-9, -9, -9, -9, -9};
        int32_t count = -1;
        EXPECT_EQ(mda_GetFieldDims(field, array, dims, &count), 0) << name;
        return V(dims, dims + (count > 0 ? count : 0));
    }
    // Number of blocks chained behind the body (the body's own included).
    static int Blocks(void* body) {
        int n = 0;
        for (const MDA_MBLOCK* b = mbtest::Header(body); b != nullptr && n < 1000; b = b->next)
            ++n;
        return n;
    }

    mvxtest::TempDir scratch_;
    mvxtest::CompiledDict every_;
};

// Array fields of every.ddl's 2:0 with n = 6 and m = 4 in their count slots.
// Pointers in the body: pts@128 mat@168 cube@176 tags@184 any@192 five@200
// pfix@208.
TEST_F(CompiledModel, ArrayFieldDimsAllocationAndReallocation) {
    MDA_MODEL_DEF def;
    mda_GetModelDefaults(0, &def);
    def.ddf = every_.get();
    int32_t model = 0;
    ASSERT_EQ(mda_AllocateModel(MDA_MEMORY_ONLY, &def, &model), 0);
    void* body = nullptr;
    MDA_PTR p = 0;
    ASSERT_EQ(mda_AllocateEntity2(0, model, MVX_TF(2, 0), &body, &p), 0);
    const auto* h = static_cast<const MDA_ENTITY_HDR*>(body);
    EXPECT_EQ(h->tfi, every_.Tfi(MVX_TF(2, 0)));
    EXPECT_EQ(h->own, p);
    EXPECT_EQ(h->origin, p);
    int32_t size = -1;
    EXPECT_EQ(mda_GetArraySize(1, body, &size), 0);
    EXPECT_EQ(size, 216);
    auto slot_of = [&](std::size_t offset) {
        return reinterpret_cast<void**>(static_cast<uint8_t*>(body) + offset);
    };
    std::vector<int32_t> slots(DDF_COUNT_SLOTS, 0);
    slots[1] = 6; // n
    slots[2] = 4; // m
    ddf__Counters = slots.data();
    ddf__Current = every_.get();

    const struct {
        const char* name;
        V dims;
    } fields[] = {
        {"fixed", {3}},   {"grid", {2, 3}},    {"names", {4}},        {"pts", {6}},
        {"plus", {7}},    {"minus", {5}},      {"times", {18}},       {"half", {3}},
        {"mat", {4, 6}},  {"cube", {4, 2, 6}}, {"tags", {6}},         {"any", {0}},
        {"pfix", {4}},    {"five", {2, 2, 2, 2, 6}},
    };
    for (const auto& f : fields)
        EXPECT_EQ(DimsOf(f.name, nullptr), f.dims) << f.name;

    // Allocate each pointer-held field as its dimensions say.
    ASSERT_EQ(mda_Malloc(0, body, 6 * 8, slot_of(128)), 0);
    ASSERT_EQ(mda_MallocArray(0, body, 8, slot_of(168), 2, 4, 6), 0);
    ASSERT_EQ(mda_CallocArray(0, body, 2, slot_of(176), 3, 4, 2, 6), 0);
    ASSERT_EQ(mda_Malloc(0, body, 6 * 12, slot_of(184)), 0);
    ASSERT_EQ(mda_Malloc(0, body, 7, slot_of(192)), 0); // 7 bytes hold 8: two ints
    ASSERT_EQ(mda_MallocArray(0, body, 8, slot_of(200), 5, 2, 2, 2, 2, 6), 0);
    ASSERT_EQ(mda_Malloc(0, body, 4, slot_of(208)), 0);
    EXPECT_EQ(Blocks(body), 8);
    EXPECT_EQ(DimsOf("any", *slot_of(192)), (V{2}));
    ASSERT_EQ(mda_GetArraySize(2, *slot_of(200), &size), 0);
    EXPECT_EQ(size, 16 * 6 * 8);
    auto mat = [&] { return static_cast<double**>(*slot_of(168)); };
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 6; ++j)
            mat()[i][j] = i * 10 + j;
    static_cast<double*****>(*slot_of(200))[1][1][1][1][5] = 42.0;

    // m grows to 5, n to 8: the matrix follows; the cube shrinks to
    // 2 x 2 x 3; the unsized field reads its length from its block.
    slots[1] = 8;
    slots[2] = 5;
    ASSERT_EQ(mda_ReallocArray(0, body, mat(), 8, slot_of(168), 2, 5, 8), 0);
    EXPECT_EQ(DimsOf("mat", mat()), (V{5, 8}));
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 8; ++j)
            ASSERT_EQ(mat()[i][j], i < 4 && j < 6 ? i * 10 + j : 0.0) << i << " " << j;
    static_cast<short***>(*slot_of(176))[1][1][2] = 11;
    ASSERT_EQ(mda_ReallocArray(0, body, *slot_of(176), 2, slot_of(176), 3, 2, 2, 3), 0);
    EXPECT_EQ(static_cast<short***>(*slot_of(176))[1][1][2], 11);
    slots[1] = 3;
    slots[2] = 2;
    EXPECT_EQ(DimsOf("cube", *slot_of(176)), (V{2, 2, 3}));
    ASSERT_EQ(mda_Realloc(0, body, *slot_of(192), 40, slot_of(192)), 0);
    EXPECT_EQ(DimsOf("any", *slot_of(192)), (V{10}));
    EXPECT_EQ(static_cast<double*****>(*slot_of(200))[1][1][1][1][5], 42.0);
    EXPECT_EQ(mda__DbgCheckEntityMBlocks(0, body), 0);
    EXPECT_EQ(Blocks(body), 8);
    EXPECT_EQ(mpm__LastError, 0);
}

} // namespace
