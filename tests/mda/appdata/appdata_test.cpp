// Application-data stores against a reference map, their failures, and the
// entity callback lists.
#include <map>
#include <random>
#include <vector>

#include "mda/memory_model.h"

namespace {

using AppDataTest = mdatest::MemoryModelTest;
constexpr int32_t kTF = MVX_TF(3, 0);

// Random writes, clears and reads over entity numbers on both sides of block
// boundaries, for each option and record sizes below, at and above 8 bytes;
// a second model's store is never touched.
TEST_F(AppDataTest, StoresAgreeWithAReference) {
    std::mt19937_64 rng(7);
    const int64_t numbers[] = {1, 2047, 2048, 2049, 4095, 5000, 3000000, 123456789};
    for (uint32_t options : {0u, MDA_APPDATA_ZERO, MDA_APPDATA_NULLPTR})
        for (int32_t size : {4, 8, 24}) {
            SCOPED_TRACE(testing::Message() << "options " << options << " size " << size);
            MDA_APPDATA *store = nullptr, *other = nullptr;
            ASSERT_EQ(mda_AllocateAppData2(options, size, model_[0], &store), 0);
            ASSERT_EQ(mda_AllocateAppData2(options, size, model_[1], &other), 0);
            const std::vector<uint8_t> kept(size, 0xEE);
            ASSERT_EQ(mda_WriteAppData(other, MDA_MAKE_PTR(model_[1], 2048), kept.data()), 0);
            std::map<int64_t, std::vector<uint8_t>> ref;
            for (int step = 0; step < 400; ++step) {
                const int64_t n = numbers[rng() % 8] + static_cast<int64_t>(rng() % 3);
                const MDA_PTR p = MDA_MAKE_PTR(model_[0], n);
                const bool in_block = mda::AppDataRecord(store, n) != nullptr;
                std::vector<uint8_t> rec(size, 0xA5);
                const uint64_t op = rng() % 4;
                if (op == 0) {
                    for (auto& b : rec)
                        b = static_cast<uint8_t>(rng());
                    ASSERT_EQ(mda_WriteAppData(store, p, rec.data()), 0);
                    ref[n] = rec;
                } else if (op == 1) { // cleared in every store of the model
                    ASSERT_EQ(mda__ZeroAppData(0, p), 0);
                    if (in_block) ref[n].assign(size, 0);
                } else {
                    ASSERT_EQ(mda_ReadAppData(store, p, rec.data()), 0);
                    // Unwritten: zeros where the options define them (a new block
                    // with MDA_APPDATA_NULLPTR has its first 2048 words zeroed),
                    // elsewhere without a block the buffer is left alone.
                    for (int32_t b = 0; b < size; ++b) {
                        const bool zero = options == MDA_APPDATA_ZERO ||
                                          (options == MDA_APPDATA_NULLPTR &&
                                           (in_block ? (n & 2047) * size + b < 2048 * 8 : b < 8));
                        const int want = ref.count(n) != 0 ? ref[n][b]
                                         : zero            ? 0
                                         : in_block        ? rec[b] // undefined
                                                           : 0xA5;
                        ASSERT_EQ(rec[b], want) << "entity " << n;
                    }
                }
            }
            // Blocks exist only where something was written: no read made one.
            EXPECT_EQ(store->highest_block, ref.rbegin()->first >> 11);
            ASSERT_EQ(ref.rbegin()->first >> 11, 123456790 >> 11) << "the highest were written";
            EXPECT_EQ(store->table_size, 65536) << "doubled until the highest block fits";
            std::vector<uint8_t> got(size);
            ASSERT_EQ(mda_ReadAppData(other, MDA_MAKE_PTR(model_[1], 2048), got.data()), 0);
            EXPECT_EQ(got, kept);
            EXPECT_EQ(mda_FreeAppData(store) | mda_FreeAppData(other), 0);
            EXPECT_EQ(mda_FreeAppData(store), MDA_INVALID_PTR) << "freed twice";
        }
}

// Refused arguments, entities of another model, no entity and blocks out of
// range or beyond any table: reported, and the store stays empty.
TEST_F(AppDataTest, FailuresAreReportedAndLoseNothing) {
    MDA_APPDATA *store = nullptr, *made = nullptr;
    ASSERT_EQ(mda_AllocateAppData2(0, 8, model_[0], &store), 0);
    const MDA_PTR p = MDA_MAKE_PTR(model_[0], 1), q = MDA_MAKE_PTR(model_[1], 1);
    uint8_t rec[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const int32_t rows[][2] = {
        {mda_AllocateAppData2(0, 8, 9, &made), MDA_INVALID_MODEL},
        {mda_AllocateAppData2(0, 0, model_[0], &made), MDA_MALLOC_ERR},
        {mda_AllocateAppData2(0, 1 << 20, model_[0], &made), MDA_MALLOC_ERR},
        {mda_AllocateAppData2(0, 8, model_[0], nullptr), MDA_NULL_MEMPTR},
        {mda_ReadAppData(nullptr, p, rec), MDA_NULL_MEMPTR},
        {mda_WriteAppData(nullptr, p, rec), MDA_NULL_MEMPTR},
        {mda_ReadAppData(store, q, rec), MDA_INVALID_PTR},
        {mda_WriteAppData(store, q, rec), MDA_INVALID_PTR},
        {mda_WriteAppData(store, 0, rec), 0},
        {mda_FreeAppData(nullptr), MDA_NULL_MEMPTR},
        {mda__ExpandAppData(nullptr, 0), MDA_NULL_MEMPTR},
        {mda__ExpandAppData(store, MDA_APPDATA_BLOCK_LIMIT), MDA_NO_MORE_PTR},
        {mda__ExpandAppData(store, -1), MDA_NO_MORE_PTR},
        {mda__ExpandAppData(store, int64_t{1} << 40), MDA_REALLOC_ERR},
        {mda_SetCallBack(0, model_[0], 4, nullptr), MDA_CALLBACK_NOT_FOUND},
        {mda_SetCallBack(0, model_[0], 1, nullptr), MDA_NULL_MEMPTR},
        {mda_ClearCallBack(0, 9, 1, nullptr), MDA_INVALID_MODEL},
    };
    for (size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(rows[i][0], rows[i][1]) << "row " << i;
    EXPECT_TRUE(made == nullptr && store->table_size == 1024 && store->highest_block == -1);
    EXPECT_EQ(mda_FreeAppData(store), 0);
    // Every allocation of making a store and of growing its table can fail;
    // each failure is reported and leaves the store as it was.
    mvxtest::FailEachAllocation(
        [&] {
            if (mda_AllocateAppData2(0, 8, model_[0], &store) != 0) {
                EXPECT_EQ(store, nullptr);
                return;
            }
            const int32_t rc = mda_WriteAppData(store, MDA_MAKE_PTR(model_[0], 3000000), rec);
            EXPECT_TRUE(rc == 0 || rc == MDA_MALLOC_ERR || rc == MDA_REALLOC_ERR) << rc;
            EXPECT_EQ(store->highest_block, rc == 0 ? 1464 : -1);
            EXPECT_EQ(store->table_size, rc == MDA_REALLOC_ERR ? 1024 : 2048);
            EXPECT_EQ(mda_FreeAppData(store), 0);
        },
        [](bool) {});
    int left = 0; // only the links of the two models' entity lists
    for (; olm_CycleList(0, mda__AppDataList) != nullptr; ++left) {
    }
    EXPECT_EQ(left, 2);
}

// ---- Callbacks: each call noted as 10 * callback + kind --------------------

std::vector<int> g_calls;
int32_t g_model = 0;
template <int Id> int32_t Note(int32_t kind, MDA_PTR*) {
    g_calls.push_back(10 * Id + kind);
    return 0;
}
// Clears itself and a later callback, and adds one that waits for the next event.
int32_t ClearsItself(int32_t kind, MDA_PTR* p) {
    Note<3>(kind, p);
    EXPECT_EQ(mda_ClearCallBack(0, g_model, kind, ClearsItself) |
                  mda_ClearCallBack(0, g_model, kind, Note<2>) |
                  mda_SetCallBack(0, g_model, kind, Note<1>),
              0);
    return 0;
}

TEST_F(AppDataTest, CallbacksRunInOrderAndMayChangeTheirLists) {
    g_model = model_[0];
    g_calls.clear();
    const std::pair<int32_t, MDA_ENTITY_CALLBACK> set[] = {
        {MDA_CB_CREATED, Note<1>},  {MDA_CB_CREATED, ClearsItself}, {MDA_CB_CREATED, Note<2>},
        {MDA_CB_MODIFIED, Note<2>}, {MDA_CB_MODIFIED, Note<2>},     {MDA_CB_USER, Note<1>}};
    for (const auto& [kind, function] : set)
        ASSERT_EQ(mda_SetCallBack(0, g_model, kind, function), 0);
    void* body = nullptr;
    MDA_PTR p = 0;
    ASSERT_EQ(mda_AllocateEntity2(0, g_model, kTF, &body, &p), 0);
    EXPECT_TRUE(g_calls.empty()) << "an entity counts as created at its first unlock";
    ASSERT_EQ(mda_UnlockEntity(0, p), 0); // created: 1, 3 (which clears 2)
    // Unlocked unchanged (nothing), changed (2 twice), changed after one of
    // the two is cleared (2 once).
    for (int round = 0; round < 3; ++round) {
        if (round == 2) {
            ASSERT_EQ(mda_ClearCallBack(0, g_model, MDA_CB_MODIFIED, Note<2>), 0);
        }
        ASSERT_EQ(mda_LockEntity(0, p, &body), 0);
        ASSERT_EQ(mda_UnlockEntity(round == 0 ? 0 : MDA_UNLOCK_MODIFIED, p), 0);
    }
    ASSERT_EQ(mda_MallocEntity2(0, g_model, kTF, &body), 0);
    ASSERT_EQ(mda_CreateEntity(0, body, &p), 0); // created: 1, 1
    EXPECT_EQ(g_calls, (std::vector<int>{13, 33, 21, 21, 21, 13, 13}));
    EXPECT_EQ(mda_ClearCallBack(0, g_model, MDA_CB_CREATED, Note<2>), MDA_CALLBACK_NOT_FOUND);
    // The lists left (created: 1, 1; user: 1) go with the model.
    EXPECT_EQ(mda_FreeModel(0, g_model), 0);
}

} // namespace
