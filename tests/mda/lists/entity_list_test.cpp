// Entity lists against a reference of each slot's order: a list the caller
// keeps (on the second model, whose entities are never released, since a
// release clears the entity's records in every store of its model), and the
// first model's own list kept by creation, retyping and release.
#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "mda/memory_model.h"
#include "support/capture.h"

namespace {

using Slots = std::vector<std::vector<MDA_PTR>>;

// The whole list against the reference: each slot's chain with its back
// links, its count, tail and the tail's predecessor, and the cursors.
void CheckList(const MDA_ENTITY_LIST* list, const Slots& ref, const std::vector<MDA_PTR>& cursors) {
    for (int32_t s = 0; s < list->slots; ++s) {
        const std::vector<MDA_PTR>& want = ref[s];
        std::vector<MDA_PTR> chain;
        mda::ListLinks links{};
        for (MDA_PTR p = list->heads[s]; p != 0 && chain.size() <= want.size(); p = links.next) {
            ASSERT_EQ(mda_ReadAppData(list->links, p, &links), 0);
            ASSERT_EQ(links.prev, chain.empty() ? 0 : chain.back()) << "slot " << s;
            chain.push_back(p);
        }
        const size_t n = want.size();
        ASSERT_EQ(chain, want) << "slot " << s;
        ASSERT_TRUE(list->counts[s] == static_cast<int32_t>(n) &&
                    list->tails[s] == (n == 0 ? 0 : want[n - 1]) &&
                    list->tail_prevs[s] == (n < 2 ? 0 : want[n - 2]) &&
                    (cursors.empty() || list->cursors[s] == cursors[s]))
            << "slot " << s;
    }
}

using EntityListTest = mdatest::MemoryModelTest;

// Random steps on both lists, each checked whole after every step: adding
// (twice is refused), removing (also what the slot does not hold), cycling
// and restarting on the caller's list; making entities both ways, retyping
// (to its own type it keeps its place) and releasing them on the model's.
TEST_F(EntityListTest, ListsAgreeWithAReference) {
    MDA_ENTITY_LIST* mine = nullptr;
    ASSERT_EQ(mda_AllocateEntityList2(0, 4, model_[1], &mine), 0);
    auto* own = static_cast<MDA_ENTITY_LIST*>(mda__Model[model_[0]].entity_list);
    ASSERT_EQ(own->slots, 3);
    Slots ref(4), own_ref(3);
    std::vector<MDA_PTR> cursor(4, 0);
    MDA_PTR made = 0;
    std::mt19937 rng(11);
    for (int step = 0; step < 4000; ++step) {
        const int s = static_cast<int>(rng() % 4), t = static_cast<int>(rng() % 3);
        const MDA_PTR p = MDA_MAKE_PTR(model_[1], 1 + rng() % 60 * 83); // in several blocks
        int in = -1;                                                    // the slot holding p
        for (int k = 0; k < 4; ++k)
            if (std::count(ref[k].begin(), ref[k].end(), p) != 0) in = k;
        const uint32_t op = rng() % 8;
        void* body = nullptr;
        if (op <= 1 && (in < 0 || in == s)) {
            EXPECT_EQ(mda_AddToEntityList(mine, s, p), in == s ? MDA_DUPLICATE_ENTLIST_ENTRY : 0);
            char text[300]; // the message names the entity both ways
            std::snprintf(text, sizeof text, "*** Error (MDA_DUPLICATE_ENTLIST_ENTRY) ***\nThe entity "
                          "#%d:%d (0x%llx) is already defined in the current entity list. The new "
                          "entry was not added to the current entity list.\n", model_[1],
                          static_cast<int>(MDA_PTR_ENTITY(p)), static_cast<unsigned long long>(p));
            EXPECT_TRUE(in != s || mvxtest::LastText() == text) << mvxtest::LastText();
            if (in < 0 && ref[s].empty()) cursor[s] = p;
            if (in < 0) ref[s].push_back(p);
        } else if (op == 2 && (in < 0 || in == s)) {
            ASSERT_EQ(mda_RemoveFromEntityList(mine, s, p), 0);
            const auto at = std::find(ref[s].begin(), ref[s].end(), p);
            if (cursor[s] == p) cursor[s] = at + 1 == ref[s].end() ? 0 : at[1];
            if (in == s) ref[s].erase(at);
        } else if (op == 3) {
            MDA_PTR got = 1;
            EXPECT_EQ(mda_CycleEntityList(mine, s, &got), cursor[s] == 0 ? MDA_END_OF_LIST : 0);
            EXPECT_EQ(got, cursor[s]);
            const auto at = std::find(ref[s].begin(), ref[s].end(), got);
            cursor[s] = at == ref[s].end() || at + 1 == ref[s].end() ? 0 : at[1];
        } else if (op == 4) {
            mine->cursors[s] = cursor[s] = mine->heads[s];
        } else if (op == 5 || (op >= 6 && own_ref[s % 3].empty())) {
            if (rng() % 2 == 0) {
                ASSERT_EQ(
                    mda_AllocateEntity2(MDA_ENTITY_UNLOCKED, model_[0], tfs_[t], &body, &made), 0);
            } else {
                ASSERT_EQ(mda_MallocEntity2(0, model_[0], tfs_[t], &body), 0);
                ASSERT_EQ(mda_CreateEntity(0, body, &made), 0);
            }
            own_ref[t].push_back(made);
        } else if (op >= 6) {
            std::vector<MDA_PTR>& from = own_ref[s % 3];
            const auto at = from.begin() + static_cast<int64_t>(rng() % from.size());
            made = *at;
            ASSERT_EQ(mda_LockEntity(0, made, &body), 0);
            if (op == 7 || s % 3 != t) from.erase(at);
            ASSERT_EQ(op == 6 ? mda_SetTF(body, tfs_[t]) : 0, 0);
            if (op == 6 && s % 3 != t) own_ref[t].push_back(made);
            ASSERT_EQ(mda_UnlockEntity(op == 7 ? MDA_UNLOCK_FREE : 0, made), 0);
        }
        CheckList(mine, ref, cursor);
        CheckList(own, own_ref, {});
        if (HasFatalFailure()) return;
    }
    EXPECT_EQ(mda_AddToEntityList(mine, 4, MDA_MAKE_PTR(model_[1], 1)), MDA_INTERNAL_ERR);
    EXPECT_EQ(mda_AddToEntityList(mine, 0, MDA_MAKE_PTR(model_[0], 1)), MDA_INVALID_PTR);
    EXPECT_EQ(mda_CycleEntityList(mine, -1, &cursor[0]), MDA_INTERNAL_ERR);
    EXPECT_EQ(mda_AllocateEntityList2(0, 1, 9, &mine), MDA_INVALID_MODEL);
    EXPECT_EQ(mda_FreeEntityList(mine), 0);

    // A failure to make a link record (the entity's number starts a new
    // block) uses up no number and leaves the list as it was.
    while (mda__Model[model_[0]].next_entity <= MDA_APPDATA_RECORDS) {
        ASSERT_EQ(mda_AllocateEntity2(MDA_ENTITY_UNLOCKED, model_[0], tfs_[0], nullptr, &made), 0);
        own_ref[0].push_back(made);
    }
    const int64_t next = mda__Model[model_[0]].next_entity;
    mvxtest::FailEachAllocation(
        [&] {
            if (mda_AllocateEntity2(MDA_ENTITY_UNLOCKED, model_[0], tfs_[1], nullptr, &made) == 0)
                own_ref[1].push_back(made);
        },
        [&](bool failed) {
            EXPECT_TRUE(!failed || mda__Model[model_[0]].next_entity == next);
            CheckList(own, own_ref, {});
        });
}

} // namespace
