// Entity lists against a reference of each slot's order, both a list made
// by the caller and a model's own list kept by creation, retyping and
// release.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "common/common_alloc.h"
#include "mda/memory_model.h"

namespace {

using Slots = std::vector<std::vector<MDA_PTR>>;

// The whole list against the reference: each slot's chain in both
// directions, count, tail, the tail's previous link, and (when given) the
// cursors.
void CheckList(MDA_ENTITY_LIST* list, const Slots& ref, const std::vector<MDA_PTR>* cursors) {
    for (int32_t s = 0; s < list->slots; ++s) {
        SCOPED_TRACE(testing::Message() << "slot " << s);
        std::vector<MDA_PTR> chain;
        MDA_PTR prev = 0;
        for (MDA_PTR p = list->heads[s]; p != 0 && chain.size() <= ref[s].size();) {
            mda::ListLinks links{};
            ASSERT_EQ(mda_ReadAppData(list->links, p, &links), 0);
            EXPECT_EQ(links.prev, prev);
            chain.push_back(p);
            prev = p;
            p = links.next;
        }
        ASSERT_EQ(chain, ref[s]);
        EXPECT_EQ(list->counts[s], static_cast<int32_t>(ref[s].size()));
        EXPECT_EQ(list->tails[s], ref[s].empty() ? 0 : ref[s].back());
        EXPECT_EQ(list->tail_prevs[s], ref[s].size() < 2 ? 0 : ref[s][ref[s].size() - 2]);
        if (cursors != nullptr) {
            EXPECT_EQ(list->cursors[s], (*cursors)[s]);
        }
    }
}

// The entity after p in its slot of the reference, or 0.
MDA_PTR Next(const std::vector<MDA_PTR>& slot, MDA_PTR p) {
    auto it = std::find(slot.begin(), slot.end(), p);
    return it == slot.end() || it + 1 == slot.end() ? 0 : *(it + 1);
}

using EntityListTest = mdatest::MemoryModelTest;

TEST_F(EntityListTest, CallerListAgreesWithAReference) {
    MDA_ENTITY_LIST* list = nullptr;
    ASSERT_EQ(mda_AllocateEntityList2(0, 4, model_[0], &list), 0);
    Slots ref(4);
    std::vector<MDA_PTR> cursor(4, 0);
    std::vector<int> where(5000, -1); // slot of each entity number, or -1
    std::mt19937 rng(11);
    for (int step = 0; step < 3000; ++step) {
        const int s = static_cast<int>(rng() % 4);
        // Numbers from a few blocks, so links live in several.
        const int64_t n = 1 + static_cast<int64_t>(rng() % 60) * 83;
        const MDA_PTR p = MDA_MAKE_PTR(model_[0], n);
        switch (rng() % 5) {
        case 0:
        case 1:
            if (where[n] == s) {
                EXPECT_EQ(mda_AddToEntityList(list, s, p), MDA_DUPLICATE_ENTLIST_ENTRY);
            } else if (where[n] < 0) {
                ASSERT_EQ(mda_AddToEntityList(list, s, p), 0);
                if (ref[s].empty()) cursor[s] = p;
                ref[s].push_back(p);
                where[n] = s;
            }
            break;
        case 2: // also entities that are in no slot, or in another
            if (where[n] >= 0 && where[n] != s) break;
            ASSERT_EQ(mda_RemoveFromEntityList(list, s, p), 0);
            if (where[n] == s) {
                if (cursor[s] == p) cursor[s] = Next(ref[s], p);
                ref[s].erase(std::find(ref[s].begin(), ref[s].end(), p));
                where[n] = -1;
            }
            break;
        case 3: { // cycle
            MDA_PTR got = 1;
            const int32_t rc = mda_CycleEntityList(list, s, &got);
            EXPECT_EQ(got, cursor[s]);
            EXPECT_EQ(rc, cursor[s] == 0 ? MDA_END_OF_LIST : 0);
            cursor[s] = Next(ref[s], cursor[s]);
            break;
        }
        default: // restart the walk
            list->cursors[s] = cursor[s] = list->heads[s];
        }
        CheckList(list, ref, &cursor);
        if (HasFatalFailure()) return;
    }
    EXPECT_EQ(mda_AddToEntityList(list, 4, MDA_MAKE_PTR(model_[0], 1)), MDA_INTERNAL_ERR);
    EXPECT_EQ(mda_AddToEntityList(list, 0, MDA_MAKE_PTR(model_[1], 1)), MDA_INVALID_PTR);
    EXPECT_EQ(mda_CycleEntityList(list, -1, &cursor[0]), MDA_INTERNAL_ERR);
    EXPECT_EQ(mda_AllocateEntityList2(0, 1, 9, &list), MDA_INVALID_MODEL);
    EXPECT_EQ(mda_FreeEntityList(list), 0);
}

// Random creation (both ways), retyping and release keep the model's own
// list equal to the reference; freed numbers come back without a clash.
TEST_F(EntityListTest, ModelListFollowsTheEntities) {
    auto* list = static_cast<MDA_ENTITY_LIST*>(mda__Model[model_[0]].entity_list);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->slots, 3);
    Slots ref(3);
    std::mt19937 rng(5);
    for (int step = 0; step < 1500; ++step) {
        const int t = static_cast<int>(rng() % 3);
        const int s = static_cast<int>(rng() % 3);
        void* body = nullptr;
        MDA_PTR p = 0;
        const uint32_t op = rng() % 4;
        if (op <= 1 || ref[s].empty()) {
            if (op == 0) {
                ASSERT_EQ(mda_AllocateEntity2(MDA_ENTITY_UNLOCKED, model_[0], tfs_[t], &body, &p), 0);
            } else {
                ASSERT_EQ(mda_MallocEntity2(0, model_[0], tfs_[t], &body), 0);
                ASSERT_EQ(mda_CreateEntity(0, body, &p), 0);
            }
            ref[t].push_back(p);
        } else {
            p = ref[s][rng() % ref[s].size()];
            ASSERT_EQ(mda_LockEntity(0, p, &body), 0);
            if (op == 3 || s != t) ref[s].erase(std::find(ref[s].begin(), ref[s].end(), p));
            if (op == 2) { // retyping to its own type keeps its place
                ASSERT_EQ(mda_SetTF(body, tfs_[t]), 0);
                if (s != t) ref[t].push_back(p);
                ASSERT_EQ(mda_UnlockEntity(0, p), 0);
            } else {
                ASSERT_EQ(mda_UnlockEntity(MDA_UNLOCK_FREE, p), 0);
            }
        }
        CheckList(list, ref, nullptr);
        if (HasFatalFailure()) return;
    }
    EXPECT_EQ(mda__Model[model_[0]].entity_count,
              static_cast<int64_t>(ref[0].size() + ref[1].size() + ref[2].size()));

    // A failure to make a link record (the entity's number starts a new
    // block) uses up no number and leaves the list as it was.
    while (mda__Model[model_[0]].next_entity <= MDA_APPDATA_RECORDS) {
        MDA_PTR p = 0;
        ASSERT_EQ(mda_AllocateEntity2(MDA_ENTITY_UNLOCKED, model_[0], tfs_[0], nullptr, &p), 0);
        ref[0].push_back(p);
    }
    const int64_t next = mda__Model[model_[0]].next_entity;
    mvxtest::FailEachAllocation(
        [&] {
            MDA_PTR p = 0;
            if (mda_AllocateEntity2(MDA_ENTITY_UNLOCKED, model_[0], tfs_[1], nullptr, &p) == 0)
                ref[1].push_back(p);
        },
        [&](bool failed) {
            if (failed) {
                EXPECT_EQ(mda__Model[model_[0]].next_entity, next);
            }
            CheckList(list, ref, nullptr);
        });
}

} // namespace
