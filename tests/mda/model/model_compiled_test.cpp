// A model over a dictionary compiled from source (every.ddl): entity bodies
// as the dictionary sizes them, and array fields sized through their count
// slots, expressions and the blocks that hold them. (The block operations
// themselves run in the randomized chain test.)
#include <cstddef>
#include <vector>

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

    mvxtest::TempDir scratch_;
    mvxtest::CompiledDict every_;
};

// Array fields of every.ddl's 2:0 with n = 6 and m = 4 in their count slots;
// the unsized field `any` is held at offset 192 of the body.
TEST_F(CompiledModel, ArrayFieldDimsFollowCountSlotsAndBlocks) {
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

    // An unsized field takes its length from its block: two ints in 7
    // bytes (rounded to 8), then ten after a resize.
    ASSERT_EQ(mda_Malloc(0, body, 7, slot_of(192)), 0);
    EXPECT_EQ(DimsOf("any", *slot_of(192)), (V{2}));
    ASSERT_EQ(mda_Realloc(0, body, *slot_of(192), 40, slot_of(192)), 0);
    EXPECT_EQ(DimsOf("any", *slot_of(192)), (V{10}));
    // The count slots change, the dimensions follow.
    slots[1] = 3;
    slots[2] = 2;
    EXPECT_EQ(DimsOf("cube", nullptr), (V{2, 2, 3}));
    EXPECT_EQ(DimsOf("times", nullptr), (V{9}));
    EXPECT_EQ(mpm__LastError, 0);
}

} // namespace
