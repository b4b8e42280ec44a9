// Deep copies and deep deletions of random graphs (shared children and
// cycles), checked by walking source and result side by side.
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "common/common_alloc.h"
#include "mda/graph_model.h"

namespace {

using namespace graphtest;

class CopyTest : public GraphModelTest {
protected:
    // A random graph of nodes (ids 1..n) and leaves; any node may refer to
    // any entity, so shared children and cycles are common.
    void BuildGraph(int n, unsigned seed) {
        std::mt19937 rng(seed);
        for (int i = 0; i < n; ++i) {
            const MDA_PTR p = rng() % 4 == 0 ? Plain(kLeaf) : Node(static_cast<int32_t>(rng() % 3));
            all_.push_back(p);
        }
        for (const MDA_PTR p : all_) {
            const std::vector<MDA_PTR> values = Values(p);
            for (size_t i = 0; i < values.size(); ++i)
                if (rng() % 3 != 0) Point(p, i, all_[rng() % all_.size()]);
        }
    }
    // Every entity reachable from root, root first.
    std::set<MDA_PTR> Reachable(MDA_PTR root) {
        std::set<MDA_PTR> seen{root};
        std::vector<MDA_PTR> todo{root};
        while (!todo.empty()) {
            const MDA_PTR p = todo.back();
            todo.pop_back();
            for (const MDA_PTR v : Values(p))
                if (v != 0 && seen.insert(v).second) todo.push_back(v);
        }
        return seen;
    }
    // Walks source and copy side by side: same types and shape, and the
    // copies form a one-to-one map of the reachable source entities.
    void ExpectSameShape(MDA_PTR source, MDA_PTR copy, size_t* copied) {
        std::map<MDA_PTR, MDA_PTR> map{{source, copy}};
        std::set<MDA_PTR> targets{copy};
        std::vector<std::pair<MDA_PTR, MDA_PTR>> todo{{source, copy}};
        while (!todo.empty()) {
            const auto [s, c] = todo.back();
            todo.pop_back();
            int32_t st = 0;
            int32_t ct = 0;
            mda_ReadTypeForm(s, &st, nullptr);
            mda_ReadTypeForm(c, &ct, nullptr);
            ASSERT_EQ(st, ct);
            const std::vector<MDA_PTR> sv = Values(s);
            const std::vector<MDA_PTR> cv = Values(c);
            ASSERT_EQ(sv.size(), cv.size());
            for (size_t i = 0; i < sv.size(); ++i) {
                ASSERT_EQ(sv[i] == 0, cv[i] == 0);
                if (sv[i] == 0) continue;
                ASSERT_EQ(MDA_PTR_MODEL(cv[i]), MDA_PTR_MODEL(copy));
                const auto [it, fresh] = map.emplace(sv[i], cv[i]);
                ASSERT_EQ(it->second, cv[i]) << "a shared child copied twice";
                if (!fresh) continue;
                ASSERT_TRUE(targets.insert(cv[i]).second) << "two sources, one copy";
                todo.emplace_back(sv[i], cv[i]);
            }
        }
        *copied = map.size();
    }
    std::vector<MDA_PTR> all_;
};

TEST_F(CopyTest, DeepCopiesKeepSharingAndCycles) {
    BuildGraph(60, 5);
    for (int round = 0; round < 8; ++round) {
        const int32_t target = NewModel(1);
        const MDA_PTR root = all_[static_cast<size_t>(round) * 7];
        void* body = nullptr;
        ASSERT_EQ(mda_LockEntity(0, root, &body), 0);
        void* copy = nullptr;
        ASSERT_EQ(mda_CopyEntity2(MDA_COPY_ENTER, target, nullptr, body, &copy), 0);
        const MDA_PTR made = static_cast<MDA_ENTITY_HDR*>(copy)->own;
        EXPECT_EQ(static_cast<MDA_ENTITY_HDR*>(copy)->origin, root);
        ASSERT_EQ(mda_UnlockEntity(MDA_UNLOCK_MODIFIED, made), 0);
        ASSERT_EQ(mda_UnlockEntity(0, root), 0);
        size_t copied = 0;
        ExpectSameShape(root, made, &copied);
        EXPECT_EQ(copied, Reachable(root).size());
        MDA_MODEL_INFO info;
        ASSERT_EQ(mda_GetModelInfo(target, &info), 0);
        EXPECT_EQ(static_cast<size_t>(info.entity_count), copied);
        std::string text;
        EXPECT_EQ(Check(target, &text), 0) << text;
        ASSERT_EQ(mda_FreeModel(0, target), 0);
    }
    std::string text;
    EXPECT_EQ(Check(model_, &text), 0) << text;
}

// A failing allocation anywhere in a deep copy is returned; the source is
// unchanged and the target keeps only unlocked, consistently linked copies.
TEST_F(CopyTest, FailedCopiesLeaveNoHalfLinkedEntity) {
    BuildGraph(12, 9);
    std::map<MDA_PTR, std::vector<MDA_PTR>> before;
    for (const MDA_PTR p : all_)
        before[p] = Values(p);
    for (long n = 1;; ++n) {
        const int32_t target = NewModel(1);
        void* body = nullptr;
        ASSERT_EQ(mda_LockEntity(0, all_[1], &body), 0);
        void* copy = nullptr;
        mvxc::SetAllocFailure(n);
        const int32_t rc = mda_CopyEntity2(0, target, nullptr, body, &copy);
        mvxc::SetAllocFailure(0);
        ASSERT_EQ(mda_UnlockEntity(0, all_[1]), 0);
        if (rc == 0) {
            mda_FreeEntity(0, copy);
            break;
        }
        EXPECT_EQ(copy, nullptr);
        EXPECT_EQ(mda_DbgGetLockedCount(0, target), 0) << n;
        std::string text;
        EXPECT_EQ(Check(target, &text), 0) << n << text;
        ASSERT_EQ(mda_FreeModel(0, target), 0);
    }
    for (const MDA_PTR p : all_)
        EXPECT_EQ(Values(p), before[p]);
}

// Memory-only graphs of 3,000 entities over two models, their bodies never
// written, stored or locked and changed by the caller: without a filter the
// copy reads them where they lie and finds earlier copies over many pages
// of its index and across models. It locks nothing in the sources, and a
// failing allocation at points spread over the copy leaves the target
// consistent.
TEST_F(CopyTest, LargeMemoryOnlyGraphsCopyAcrossModels) {
    const std::string ddl = tmp_.path() + "/flat.ddl";
    std::ofstream(ddl) << "dictionary flat;\nentity 1:0 pair { int id; ptr a; ptr b; ptr c; }\n";
    mvxtest::CompiledDict flat;
    ASSERT_TRUE(flat.Load(ddl));
    const auto memory_model = [&] {
        MDA_MODEL_DEF def;
        mda_GetModelDefaults(0, &def);
        def.ddf = flat.get();
        def.backptrs = 1;
        int32_t model = 0;
        EXPECT_EQ(mda_AllocateModel(MDA_MEMORY_ONLY, &def, &model), 0);
        return model;
    };
    const int32_t sources[2] = {memory_model(), memory_model()};
    all_.resize(3000);
    for (size_t i = 0; i < all_.size(); ++i)
        ASSERT_EQ(mda_AllocateEntity2(MDA_ENTITY_UNLOCKED, sources[i % 2], MVX_TF(1, 0), nullptr,
                                      &all_[i]),
                  0);
    std::mt19937 rng(21);
    std::map<MDA_PTR, Ptrs> refs; // what each entity points to
    void* body = nullptr;
    for (const MDA_PTR p : all_) {
        refs[p] = Ptrs(3, 0);
        if (rng() % 3 == 0) continue; // its body stays as made, never written
        ASSERT_EQ(mda_LockEntity(0, p, &body), 0);
        for (size_t i = 0; i < 3; ++i) {
            refs[p][i] = rng() % 5 != 0 ? all_[rng() % 3000] : 0;
            EXPECT_EQ(mda_AddPtr(p, refs[p][i], Slots(body)[i]), 0);
        }
        ASSERT_EQ(mda_UnlockEntity(MDA_UNLOCK_MODIFIED, p), 0);
    }
    MDA_PTR top = all_[0];
    for (size_t i = 1; refs[top][0] == 0; ++i)
        top = all_[i];
    // A child locked by the caller and changed: the copy must see its body.
    const MDA_PTR held = refs[top][0];
    ASSERT_EQ(mda_LockEntity(0, held, &body), 0);
    ASSERT_EQ(mda_ModifyPtr(held, refs[held][1] = top, Slots(body)[1]), 0);
    void* root = nullptr;
    ASSERT_EQ(mda_LockEntity(0, top, &root), 0);
    for (long fail_at = 0, allocations = 0; fail_at <= allocations;
         fail_at += allocations / 9 + 1) {
        const int32_t target = memory_model();
        void* copy = nullptr;
        mvxc::SetAllocFailure(fail_at);
        const int32_t rc = mda_CopyEntity2(MDA_COPY_ENTER, target, nullptr, root, &copy);
        if (fail_at == 0) allocations = mvxc::AllocCount();
        mvxc::SetAllocFailure(0);
        ASSERT_EQ(rc != 0, fail_at != 0) << fail_at;
        const MDA_PTR made = rc == 0 ? static_cast<MDA_ENTITY_HDR*>(copy)->own : 0;
        EXPECT_TRUE(rc != 0 || mda_UnlockEntity(0, made) == 0);
        EXPECT_EQ(mda_DbgGetLockedCount(0, target), 0);
        EXPECT_EQ(mda_DbgGetLockedCount(0, sources[0]) + mda_DbgGetLockedCount(0, sources[1]), 2);
        std::string text;
        EXPECT_EQ(Check(target, &text), 0) << fail_at << text;
        size_t copied = 0;
        if (rc == 0) ExpectSameShape(top, made, &copied);
        EXPECT_TRUE(rc != 0 || copied > 1000) << copied;
        ASSERT_EQ(mda_FreeModel(0, target), 0);
    }
    ASSERT_EQ(mda_UnlockEntity(MDA_UNLOCK_MODIFIED, held), 0);
    ASSERT_EQ(mda_UnlockEntity(0, top), 0);
    for (const MDA_PTR p : all_)
        EXPECT_EQ(Values(p), refs[p]);
}

// A model over another dictionary takes a copy only when that dictionary
// lays the type out the same way; otherwise the type counts as unknown there
// and nothing is made.
TEST_F(CopyTest, CopiesAcrossDictionariesNeedTheSameLayout) {
    const char* const sources[] = {
        "dictionary a;\nentity 1:0 pair { int id; ptr a; ptr b; ptr c; }\n",
        "dictionary b;\nentity 1:0 twin { int id; ptr x; ptr y; ptr z; }\n",
        "dictionary c;\nentity 1:0 pair { ptr a; int id; ptr b; ptr c; }\n",
    };
    mvxtest::CompiledDict dicts[3];
    int32_t models[3] = {};
    for (int i = 0; i < 3; ++i) {
        const std::string ddl = tmp_.path() + "/d" + std::to_string(i) + ".ddl";
        std::ofstream(ddl) << sources[i];
        ASSERT_TRUE(dicts[i].Load(ddl));
        MDA_MODEL_DEF def;
        mda_GetModelDefaults(0, &def);
        def.ddf = dicts[i].get();
        ASSERT_EQ(mda_AllocateModel(MDA_MEMORY_ONLY, &def, &models[i]), 0);
    }
    MDA_PTR p = 0;
    void* body = nullptr;
    ASSERT_EQ(mda_AllocateEntity2(0, models[0], MVX_TF(1, 0), &body, &p), 0);
    for (const auto& [model, want] : {std::pair{models[1], 0}, {models[2], MDA_UNKNOWN_TF}}) {
        void* copy = nullptr;
        EXPECT_EQ(mda_CopyEntity2(MDA_COPY_ENTER, model, nullptr, body, &copy), want);
        EXPECT_EQ(copy == nullptr, want != 0);
        if (copy != nullptr) {
            EXPECT_EQ(mda_UnlockEntity(0, static_cast<MDA_ENTITY_HDR*>(copy)->own), 0);
        }
    }
    ASSERT_EQ(mda_UnlockEntity(0, p), 0);
    for (const int32_t model : models)
        EXPECT_EQ(mda_FreeModel(0, model), 0);
}

// With a filter the copy keeps its pairs in mda__CopyTree as well, where the
// filter finds every entity copied so far; a child the filter answers with
// itself is shared with the source, not copied.
std::set<MDA_PTR> g_entered; // sources whose copies have been entered
int32_t g_missing = 0;       // of those, the ones mda__CopyTree lacked
int32_t ShareLeaves(MDA_PTR child, MDA_PTR* replacement) {
    for (const MDA_PTR source : g_entered) {
        MDA_PTR key[2] = {source, 0};
        if (otm_GetObject(OTM_QUIET, mda__CopyTree, key) == nullptr) ++g_missing;
    }
    int32_t tf = 0;
    mda_ReadTypeForm(child, &tf, nullptr);
    if (tf == kLeaf) {
        *replacement = child;
        return 0;
    }
    g_entered.insert(child);
    return 1;
}

TEST_F(CopyTest, FilteredCopiesShareWhatTheFilterKeeps) {
    BuildGraph(30, 3);
    MDA_PTR root = all_[0];
    for (const MDA_PTR p : all_)
        if (Reachable(p).size() > Reachable(root).size()) root = p;
    void* body = nullptr;
    ASSERT_EQ(mda_LockEntity(0, root, &body), 0);
    void* copy = nullptr;
    ASSERT_EQ(mda_CopyEntity2(MDA_COPY_ENTER, model_, ShareLeaves, body, &copy), 0);
    const MDA_PTR made = static_cast<MDA_ENTITY_HDR*>(copy)->own;
    ASSERT_EQ(mda_UnlockEntity(MDA_UNLOCK_MODIFIED, made), 0);
    ASSERT_EQ(mda_UnlockEntity(0, root), 0);
    EXPECT_EQ(mda__CopyTree, nullptr);
    EXPECT_EQ(g_missing, 0);
    EXPECT_GT(g_entered.size(), 2u);
    size_t nodes = 0;
    for (const MDA_PTR p : Reachable(made)) {
        int32_t tf = 0;
        mda_ReadTypeForm(p, &tf, nullptr);
        if (tf == kLeaf) {
            EXPECT_LE(p, all_.back()) << "a leaf was copied";
        }
        nodes += tf != kLeaf && p > all_.back() ? 1 : 0;
    }
    EXPECT_GT(nodes, 0u);
    std::string text;
    EXPECT_EQ(Check(model_, &text), 0) << text;
}

TEST_F(CopyTest, DeepDeletionTakesWhatOnlyItReaches) {
    for (const uint32_t options : {0u, unsigned{MDA_DEEP_ALL}}) {
        SCOPED_TRACE(options);
        all_.clear();
        BuildGraph(40, 11 + options);
        const MDA_PTR root = all_[3];
        const std::set<MDA_PTR> reachable = Reachable(root);
        int32_t parents = 0;
        mda_GetParentCount(0, root, &parents);
        ASSERT_EQ(mda_DeepDeleteEntity(options | MDA_DEEP_SHARED, root), 0);
        std::set<MDA_PTR> survivors;
        for (const MDA_PTR p : all_) {
            if (mda_IsDeleted(p) != 0) {
                EXPECT_TRUE(reachable.count(p)) << "deleted but not reachable";
                continue;
            }
            survivors.insert(p);
            for (const MDA_PTR v : Values(p))
                EXPECT_TRUE(v == 0 || mda_IsDeleted(v) == 0) << "a reference to a deleted entity";
        }
        EXPECT_EQ(mda_IsDeleted(root), 1);
        if (options == MDA_DEEP_ALL) {
            for (const MDA_PTR p : reachable) {
                EXPECT_EQ(mda_IsDeleted(p), 1);
            }
        }
        std::string text;
        EXPECT_EQ(Check(model_, &text), 0) << text;
    }
}

// Arrays copied out of object lists and trees into a field of an entity.
void* g_more = nullptr; // the address of the node's allocation-sized array
int32_t FindMore(void*, int32_t, int32_t type, void*, DDF_FIELD* field) {
    if (type == DDF_PTR && (field->flags & DDF_UNSIZED) != 0) g_more = mda__TraverseAddr;
    return 0;
}

TEST_F(CopyTest, ContainersCopyIntoEntityArrays) {
    OLM_LIST* list = olm_CreateList(0, sizeof(MDA_PTR), 4, 0);
    OTM_TREE* tree = otm_CreateTree(
        0, sizeof(MDA_PTR),
        [](const void* a, const void* b) {
            return static_cast<int>(
                mda_CompPTRs(static_cast<const MDA_PTR*>(a), static_cast<const MDA_PTR*>(b)));
        },
        0);
    const Ptrs leaves{Plain(kLeaf), Plain(kLeaf), Plain(kLeaf)};
    const Ptrs mixed{leaves[2], leaves[0], leaves[1], leaves[0]};
    ASSERT_EQ(mda_CopyToOList(0, list, 4, mixed.data()), 0);
    ASSERT_EQ(mda_CopyToOTree(0, tree, 4, mixed.data()), 0); // the repeat is kept once
    const MDA_PTR owner = Node(0);
    void* body = nullptr;
    ASSERT_EQ(mda_LockEntity(0, owner, &body), 0);
    ASSERT_EQ(mda_TraverseEntity(0, body, FindMore), 0);
    auto* more = static_cast<void**>(g_more);
    int32_t count = 0;
    // From the list in its order, recorded as references of the owner.
    ASSERT_EQ(mda_CopyFromOList(MDA_COPY_SET_BACKPTRS, body, list, &count, more), 0);
    EXPECT_EQ(Ptrs(static_cast<MDA_PTR*>(*more), static_cast<MDA_PTR*>(*more) + count), mixed);
    EXPECT_EQ(Values(owner).size(), 7u); // the walk sizes the array by its allocation
    EXPECT_EQ(Parents(leaves[0]), (Ptrs{owner, owner}));
    // From the tree in ascending order.
    ASSERT_EQ(mda_Free(0, body, *more), 0);
    ASSERT_EQ(mda_CopyFromOTree(0, body, tree, &count, more), 0);
    EXPECT_EQ(Ptrs(static_cast<MDA_PTR*>(*more), static_cast<MDA_PTR*>(*more) + count),
              Sorted(leaves));
    EXPECT_EQ(mda__DbgCheckEntityMBlocks(0, body), 0);
    // An empty container gives no array.
    ASSERT_EQ(mda_Free(0, body, *more), 0);
    olm_RemoveAll(0, list);
    ASSERT_EQ(mda_CopyFromOList(0, body, list, &count, more), 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(*more, nullptr);
    ASSERT_EQ(mda_UnlockEntity(MDA_UNLOCK_MODIFIED, owner), 0);
    olm_DeleteList(0, list);
    otm_DeleteTree(0, tree);
}

} // namespace
