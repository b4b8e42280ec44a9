// Application-data stores against a reference map, their failures, and the
// entity callback lists.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "common/common_alloc.h"
#include "mda/memory_model.h"

namespace {

constexpr int32_t kTF = MVX_TF(3, 0);
using AppDataTest = mdatest::MemoryModelTest;

// Random writes, reads and clears over entity numbers on both sides of block
// boundaries, for each option and record sizes below, at and above 8 bytes;
// a second model's store must never be touched.
TEST_F(AppDataTest, StoresAgreeWithAReference) {
    std::mt19937_64 rng(7);
    const int64_t numbers[] = {1, 2047, 2048, 2049, 4095, 5000, 3000000, 123456789};
    for (uint32_t options : {0u, MDA_APPDATA_ZERO, MDA_APPDATA_NULLPTR})
        for (int32_t size : {4, 8, 24}) {
            SCOPED_TRACE(testing::Message() << "options " << options << " size " << size);
            MDA_APPDATA *store = nullptr, *other = nullptr;
            ASSERT_EQ(mda_AllocateAppData2(options, size, model_[0], &store), 0);
            ASSERT_EQ(mda_AllocateAppData2(options, size, model_[1], &other), 0);
            const std::vector<uint8_t> untouched(size, 0xEE);
            ASSERT_EQ(mda_WriteAppData(other, MDA_MAKE_PTR(model_[1], 2048), untouched.data()), 0);
            std::map<int64_t, std::vector<uint8_t>> ref;
            for (int step = 0; step < 400; ++step) {
                const int64_t n = numbers[rng() % 8] + static_cast<int64_t>(rng() % 3);
                const MDA_PTR p = MDA_MAKE_PTR(model_[0], n);
                std::vector<uint8_t> got(size, 0xA5);
                switch (rng() % 4) {
                case 0: { // write
                    std::vector<uint8_t> rec(size);
                    for (auto& b : rec)
                        b = static_cast<uint8_t>(rng());
                    ASSERT_EQ(mda_WriteAppData(store, p, rec.data()), 0);
                    ref[n] = rec;
                    break;
                }
                case 1: // clear in every store of the model
                    ASSERT_EQ(mda__ZeroAppData(0, p), 0);
                    if (mda::AppDataRecord(store, n) != nullptr) ref[n].assign(size, 0);
                    break;
                default: { // read
                    ASSERT_EQ(mda_ReadAppData(store, p, got.data()), 0);
                    std::vector<uint8_t> want(size, 0xA5);
                    const bool in_block = mda::AppDataRecord(store, n) != nullptr;
                    if (ref.count(n) != 0) {
                        want = ref[n];
                    } else if (options == MDA_APPDATA_ZERO) {
                        want.assign(size, 0);
                    } else if (options == MDA_APPDATA_NULLPTR && !in_block) {
                        std::fill_n(want.begin(), std::min(size, 8), 0);
                    } else if (options == MDA_APPDATA_NULLPTR) {
                        // A new block has its first 2048 eight-byte words zeroed.
                        const int64_t at = (n & 2047) * size;
                        want = got;
                        for (int64_t b = at; b < at + size && b < 2048 * 8; ++b)
                            want[b - at] = 0;
                    } else if (in_block) {
                        break; // a new block's content is undefined without options
                    }
                    ASSERT_EQ(got, want) << "entity " << n;
                }
                }
            }
            // Blocks exist only where something was written: no read made one.
            int64_t highest = -1;
            for (const auto& [n, rec] : ref)
                highest = std::max(highest, n >> 11);
            EXPECT_EQ(store->highest_block, highest);
            ASSERT_EQ(highest, 123456790 >> 11) << "the run wrote the highest numbers";
            EXPECT_EQ(store->table_size, 65536) << "doubled until the highest block fits";
            std::vector<uint8_t> got(size);
            ASSERT_EQ(mda_ReadAppData(other, MDA_MAKE_PTR(model_[1], 2048), got.data()), 0);
            EXPECT_EQ(got, untouched);
            EXPECT_EQ(mda_FreeAppData(store), 0);
            EXPECT_EQ(mda_FreeAppData(other), 0);
        }
}

TEST_F(AppDataTest, FailuresAreReportedAndLoseNothing) {
    MDA_APPDATA* store = nullptr;
    const uint8_t rec[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t out[8] = {};
    const struct {
        int32_t got, want;
    } rows[] = {
        {mda_AllocateAppData2(0, 8, 9, &store), MDA_INVALID_MODEL},
        {mda_AllocateAppData2(0, 0, model_[0], &store), MDA_MALLOC_ERR},
        {mda_AllocateAppData2(0, 1 << 20, model_[0], &store), MDA_MALLOC_ERR},
        {mda_AllocateAppData2(0, 8, model_[0], nullptr), MDA_NULL_MEMPTR},
        {mda_ReadAppData(nullptr, MDA_MAKE_PTR(model_[0], 1), out), MDA_NULL_MEMPTR},
        {mda_WriteAppData(nullptr, MDA_MAKE_PTR(model_[0], 1), rec), MDA_NULL_MEMPTR},
        {mda_FreeAppData(nullptr), MDA_NULL_MEMPTR},
        {mda__ExpandAppData(nullptr, 0), MDA_NULL_MEMPTR},
        {mda_SetCallBack(0, model_[0], 4, nullptr), MDA_CALLBACK_NOT_FOUND},
        {mda_SetCallBack(0, model_[0], 1, nullptr), MDA_NULL_MEMPTR},
        {mda_ClearCallBack(0, 9, 1, nullptr), MDA_INVALID_MODEL},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i)
        EXPECT_EQ(rows[i].got, rows[i].want) << "row " << i;

    ASSERT_EQ(mda_AllocateAppData2(0, 8, model_[0], &store), 0);
    EXPECT_EQ(mda_ReadAppData(store, MDA_MAKE_PTR(model_[1], 1), out), MDA_INVALID_PTR);
    EXPECT_EQ(mda_WriteAppData(store, MDA_MAKE_PTR(model_[1], 1), rec), MDA_INVALID_PTR);
    EXPECT_EQ(mda_WriteAppData(store, 0, rec), 0);
    EXPECT_EQ(mda__ExpandAppData(store, MDA_APPDATA_BLOCK_LIMIT), MDA_NO_MORE_PTR);
    EXPECT_EQ(mda__ExpandAppData(store, -1), MDA_NO_MORE_PTR);
    EXPECT_EQ(mda__ExpandAppData(store, int64_t{1} << 40), MDA_REALLOC_ERR);
    EXPECT_EQ(store->table_size, MDA_APPDATA_TABLE);
    EXPECT_EQ(store->highest_block, -1);

    // Every allocation of making a store and of growing its table can fail;
    // each failure is reported and leaves the store as it was.
    mvxtest::FailEachAllocation(
        [&] {
            MDA_APPDATA* made = nullptr;
            if (mda_AllocateAppData2(0, 8, model_[0], &made) != 0) {
                EXPECT_EQ(made, nullptr);
                return;
            }
            const int32_t rc = mda_WriteAppData(made, MDA_MAKE_PTR(model_[0], 3000000), rec);
            EXPECT_TRUE(rc == 0 || rc == MDA_MALLOC_ERR || rc == MDA_REALLOC_ERR) << rc;
            EXPECT_EQ(made->highest_block, rc == 0 ? 1464 : -1);
            EXPECT_EQ(made->table_size, rc == MDA_REALLOC_ERR ? 1024 : 2048);
            EXPECT_EQ(mda_FreeAppData(made), 0);
        },
        [](bool) {});
    EXPECT_EQ(mda_FreeAppData(store), 0);
    EXPECT_EQ(mda_FreeAppData(store), MDA_INVALID_PTR) << "a store freed twice is refused";
    int entries = 0;
    while (olm_CycleList(0, mda__AppDataList) != nullptr)
        ++entries;
    EXPECT_EQ(entries, 2) << "only the links of the two models' entity lists are left";
}

// ---- Callbacks -------------------------------------------------------------

std::vector<std::pair<int, int32_t>> g_calls; // (which callback, code)
int32_t g_model = 0;
template <int Id>
int32_t Record(int32_t code, MDA_PTR*) {
    g_calls.emplace_back(Id, code);
    return 0;
}
constexpr MDA_ENTITY_CALLBACK One = Record<1>, Two = Record<2>;
int32_t ClearsItself(int32_t code, MDA_PTR*) {
    g_calls.emplace_back(3, code);
    EXPECT_EQ(mda_ClearCallBack(0, g_model, code, ClearsItself), 0);
    EXPECT_EQ(mda_ClearCallBack(0, g_model, code, Two), 0); // a later one, too
    EXPECT_EQ(mda_SetCallBack(0, g_model, code, One), 0);   // waits for the next event
    return 0;
}

TEST_F(AppDataTest, CallbacksRunInOrderAndMayChangeTheirLists) {
    g_model = model_[0];
    g_calls.clear();
    ASSERT_EQ(mda_SetCallBack(0, g_model, MDA_CB_CREATED, One), 0);
    ASSERT_EQ(mda_SetCallBack(0, g_model, MDA_CB_CREATED, ClearsItself), 0);
    ASSERT_EQ(mda_SetCallBack(0, g_model, MDA_CB_CREATED, Two), 0);
    ASSERT_EQ(mda_SetCallBack(0, g_model, MDA_CB_MODIFIED, Two), 0);
    ASSERT_EQ(mda_SetCallBack(0, g_model, MDA_CB_MODIFIED, Two), 0);
    ASSERT_EQ(mda_SetCallBack(0, g_model, MDA_CB_USER, One), 0);

    void* body = nullptr;
    MDA_PTR p = 0;
    ASSERT_EQ(mda_AllocateEntity2(0, g_model, kTF, &body, &p), 0);
    EXPECT_TRUE(g_calls.empty()) << "an entity counts as created at its first unlock";
    ASSERT_EQ(mda_UnlockEntity(0, p), 0); // created: One, ClearsItself; Two cleared
    ASSERT_EQ(mda_LockEntity(0, p, &body), 0);
    ASSERT_EQ(mda_UnlockEntity(0, p), 0); // not modified: nothing
    ASSERT_EQ(mda_LockEntity(0, p, &body), 0);
    ASSERT_EQ(mda_UnlockEntity(MDA_UNLOCK_MODIFIED, p), 0); // modified: Two twice
    ASSERT_EQ(mda_ClearCallBack(0, g_model, MDA_CB_MODIFIED, Two), 0);
    ASSERT_EQ(mda_LockEntity(0, p, &body), 0);
    ASSERT_EQ(mda_UnlockEntity(MDA_UNLOCK_MODIFIED, p), 0); // Two once
    void* made = nullptr;
    ASSERT_EQ(mda_MallocEntity2(0, g_model, kTF, &made), 0);
    MDA_PTR q = 0;
    ASSERT_EQ(mda_CreateEntity(0, made, &q), 0); // created: One, One

    const std::vector<std::pair<int, int32_t>> want = {
        {1, 3}, {3, 3}, {2, 1}, {2, 1}, {2, 1}, {1, 3}, {1, 3}};
    EXPECT_EQ(g_calls, want);
    EXPECT_EQ(mda_ClearCallBack(0, g_model, MDA_CB_CREATED, Two), MDA_CALLBACK_NOT_FOUND);
    EXPECT_EQ(mda_ClearCallBack(0, g_model, MDA_CB_MODIFIED, Two), 0);
    EXPECT_EQ(mda_ClearCallBack(0, g_model, MDA_CB_MODIFIED, Two), MDA_CALLBACK_NOT_FOUND);
    // The lists left (created: One, One; user: One) go with the model.
    EXPECT_EQ(mda_FreeModel(0, g_model), 0);
}

} // namespace
