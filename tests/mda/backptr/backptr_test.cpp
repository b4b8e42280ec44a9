// Pointer fields and parent lists: a random run against a reference graph,
// then the operations whose outcome the run does not reach.
#include <map>
#include <random>

#include "common/common_alloc.h"
#include "mda/graph_model.h"

namespace {

using namespace graphtest;
using BackPtrTest = GraphModelTest;

// Random creation, re-pointing, release and moving of a few hundred entities
// (more than the cache holds, so bodies and lists live through swapping),
// checked after every step against a reference of every pointer element.
TEST_F(BackPtrTest, ParentListsFollowARandomGraph) {
    ASSERT_EQ(mda_RegisterNoBackPtrTF(0, model_, kTag), 0);
    std::mt19937 rng(20261206);
    std::map<MDA_PTR, Ptrs> slots; // every live entity's pointer elements
    auto pick = [&](bool allow_null) -> MDA_PTR {
        if (slots.empty() || (allow_null && rng() % 5 == 0)) return 0;
        auto it = slots.begin();
        std::advance(it, rng() % slots.size());
        return it->first;
    };
    auto referrers = [&](MDA_PTR child) {
        Ptrs out;
        for (const auto& [parent, values] : slots)
            for (MDA_PTR v : values)
                if (v == child) out.push_back(parent);
        return out;
    };
    auto is_tag = [](MDA_PTR p) {
        int32_t type = 0;
        return mda_ReadTypeForm(p, &type, nullptr) == 0 && type == 3;
    };
    // A tag keeps no parents: nobody knows its referrers, so the run never
    // releases or moves one that is referred to.
    auto expected = [&](MDA_PTR child) { return is_tag(child) ? Ptrs{} : referrers(child); };
    auto verify = [&](int step) {
        for (const auto& entry : slots)
            ASSERT_EQ(Sorted(Parents(entry.first)), Sorted(expected(entry.first)))
                << "step " << step << ", entity " << MDA_PTR_ENTITY(entry.first);
    };

    for (int step = 0; step < 700; ++step) {
        const unsigned op = slots.size() < 40 ? 0 : rng() % 10;
        if (op <= 2) { // create a node or a plain entity
            if (rng() % 3 == 0) {
                const MDA_PTR p = Plain(rng() % 2 == 0 ? kLeaf : kTag);
                slots[p] = {};
                continue;
            }
            const int32_t kids = static_cast<int32_t>(rng() % 4);
            Ptrs values(static_cast<size_t>(kids) + 3);
            for (MDA_PTR& v : values)
                v = pick(true);
            const MDA_PTR p = Node(kids);
            for (size_t i = 0; i < values.size(); ++i)
                Point(p, i, values[i]);
            slots[p] = values;
        } else if (op <= 5) { // re-point one element of a node
            const MDA_PTR p = pick(false);
            if (slots[p].empty()) continue;
            const size_t i = rng() % slots[p].size();
            const MDA_PTR child = pick(true);
            void* body = nullptr;
            ASSERT_EQ(mda_LockEntity(0, p, &body), 0);
            ASSERT_EQ(mda_ModifyPtr(p, child, Slots(body)[i]), 0);
            ASSERT_EQ(mda_UnlockEntity(MDA_UNLOCK_MODIFIED, p), 0);
            slots[p][i] = child;
        } else if (op <= 7) { // release: refused while referenced
            const MDA_PTR p = pick(false);
            if (is_tag(p) && !referrers(p).empty()) continue;
            const bool referenced = !expected(p).empty();
            ASSERT_EQ(mda__FreePtr(0, p), referenced ? MDA_HAS_PARENTS : 0) << "step " << step;
            if (!referenced) slots.erase(p);
        } else if (op == 8) { // move to a reserved db_ptr, then redirect the parents
            const MDA_PTR old_ptr = pick(false);
            if (is_tag(old_ptr) && !referrers(old_ptr).empty()) continue;
            MDA_PTR new_ptr = 0;
            ASSERT_EQ(mda_ReserveEntity2(0, model_, &new_ptr), 0);
            const Ptrs parents = Parents(old_ptr);
            ASSERT_EQ(mda_ReplaceDbptr(0, old_ptr, new_ptr), 0);

            ASSERT_EQ(mda_ModifyParents(0, static_cast<int32_t>(parents.size()), parents.data(),
                                        old_ptr, new_ptr),
                      0);
            slots[new_ptr] = slots[old_ptr];
            slots.erase(old_ptr);
            for (const MDA_PTR parent : parents) {
                Ptrs& v = slots[parent];
                *std::find(v.begin(), v.end(), old_ptr) = new_ptr;
            }
            ASSERT_EQ(mda_IsDeleted(old_ptr), 1);
        } else { // rebuild from the fields
            ASSERT_EQ(mda_SetBackPtrs(0, model_), 0);
        }
        verify(step);
        if (step % 50 == 0) {
            std::string text;
            ASSERT_EQ(Check(model_, &text), 0) << text;
            EXPECT_EQ(text, "");
        }
        if (HasFatalFailure()) return;
    }
    // Every entity's body names its own db_ptr and the values the run gave.
    for (const auto& [p, values] : slots) {
        EXPECT_EQ(Values(p), values);
        MDA_PTR own = 0;
        ASSERT_EQ(mda_ReadOrigDbptr(0, p, &own), 0); // unset origins follow their entity
        EXPECT_EQ(own, p);
    }
}

// The check names every stale and every missing entry, by entity.
TEST_F(BackPtrTest, CheckReportsEveryInconsistency) {
    const MDA_PTR a = Node(0);
    const MDA_PTR b = Node(0);
    const MDA_PTR leaf = Plain(kLeaf);
    Point(a, 0, leaf);
    Point(b, 0, leaf);
    ASSERT_EQ(mda_DeletePtr(a, leaf), 0);              // a's reference is missing
    ASSERT_EQ(mda_AddPtr(b, b, nullptr), 0);           // a stale entry of b in b
    ASSERT_EQ(mda_DeletePtr(a, b), MDA_PAR_NOT_FOUND); // nothing changes
    std::string text;
    EXPECT_EQ(Check(model_, &text), MDA_BAD_BACKPTRS);
    const std::string m = std::to_string(model_);
    EXPECT_EQ(text, "Inconsistencies in references to #" + m + ":2:\n" +
                        "   mda_Delete/ModifyPtr was not called from parent #" + m + ":2.\n" +
                        "Inconsistencies in references to #" + m + ":3:\n" +
                        "   mda_Add/ModifyPtr was not called from parent #" + m + ":1.\n");
    // The stored lists are as they were.
    EXPECT_EQ(Parents(leaf), Ptrs{b});
    EXPECT_EQ(Parents(b), Ptrs{b});

    const int32_t plain = NewModel(0);
    EXPECT_EQ(Check(plain, &text), 0);
    EXPECT_EQ(text, "No backpointer information in model.\n");
}

// Release options, number reuse, moving and the refusals that change
// nothing.
TEST_F(BackPtrTest, ReleaseAndMoveFollowTheirOptions) {
    const MDA_PTR parent = Node(2);
    const MDA_PTR child = Plain(kLeaf);
    Point(parent, 1, child);
    Point(parent, 2, child);
    EXPECT_EQ(Parents(child), (Ptrs{parent, parent}));
    int32_t count = 0;
    int32_t levels = 0;
    MDA_PTR* up = nullptr;
    EXPECT_EQ(mda_GetNthlevelParents(0, child, 1, &levels, &up), 0);
    EXPECT_EQ(Ptrs(up, up + levels), Parents(child));
    std::free(up);
    EXPECT_EQ(mda_IsTFAParent(kNode, child), parent);
    EXPECT_EQ(mda_IsTFAParent(kLeaf, child), 0);
    const MDA_PTR grand = Node(0); // two levels up, by the first parent
    Point(grand, 0, parent);
    EXPECT_EQ(mda_GetNthlevelParents(0, child, 2, &levels, &up), 0);
    EXPECT_EQ(Ptrs(up, up + levels), Ptrs{grand});
    std::free(up);
    EXPECT_EQ(mda_GetParentsByTF(0, child, kNode, &levels, &up), 0);
    EXPECT_EQ(Ptrs(up, up + levels), (Ptrs{parent, parent}));
    std::free(up);
    EXPECT_EQ(mda_GetParentsByTF(0, child, kLeaf, &levels, &up), 0);
    EXPECT_EQ(up, nullptr);
    MDA_PTR filled[3] = {};
    EXPECT_EQ(mda__FillPtr(3, grand, filled), 0);
    EXPECT_EQ(Ptrs(filled, filled + 3), (Ptrs{grand, grand, grand}));
    // A body's plain stores are recorded when it is entered with MDA_SET_BACKPTRS.
    void* body = nullptr;
    MDA_PTR made = 0;
    ASSERT_EQ(mda_MallocEntity2(0, model_, kNode, &body), 0);
    *Slots(body)[0] = child;
    ASSERT_EQ(mda_CreateEntity(MDA_SET_BACKPTRS, body, &made), 0);
    EXPECT_EQ(Parents(child), (Ptrs{parent, parent, made}));
    ASSERT_EQ(mda__FreePtr(0, made), 0);

    // Release with parents; the parent's list entries go, the number is reused.
    EXPECT_EQ(mda__FreePtr(0, child), MDA_HAS_PARENTS);
    EXPECT_EQ(mda__FreePtr(MDA_FREEPTR_WITH_PARENTS, child), 0);
    mda_GetParentCount(0, child, &count);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(Plain(kLeaf), child);

    // A reserved release is never handed out again, and can be moved onto.
    const MDA_PTR kept = Plain(kLeaf);
    EXPECT_EQ(mda__FreePtr(MDA_FREEPTR_RESERVE, kept), 0);
    EXPECT_NE(Plain(kLeaf), kept);
    const MDA_PTR live = Plain(kLeaf);
    EXPECT_EQ(mda_ReplaceDbptr(0, child, live), MDA_ENTITY_NOT_DELETED);
    const int32_t other = NewModel(1);
    EXPECT_EQ(mda_ReplaceDbptr(0, child, MDA_MAKE_PTR(other, 1)), MDA_MODELS_DIFFER);
    EXPECT_EQ(mda_ReplaceDbptr(0, child, kept), 0);
    EXPECT_EQ(mda_IsValidDbptr2(0, kept), 1);
    EXPECT_EQ(mda_IsDeleted(child), 1);
    MDA_PTR origin = 0;
    EXPECT_EQ(mda_ReadOrigDbptr(0, kept, &origin), 0);
    EXPECT_EQ(origin, kept);

    // The origin is written once unless forced.
    EXPECT_EQ(mda_WriteOrigDbptr(0, kept, live), 0);
    EXPECT_EQ(mda_WriteOrigDbptr(0, kept, parent), 0);
    EXPECT_EQ(mda_ReadOrigDbptr(0, kept, &origin), 0);
    EXPECT_EQ(origin, live);
    EXPECT_EQ(mda_WriteOrigDbptr(MDA_ORIG_ALWAYS, kept, parent), 0);
    EXPECT_EQ(mda_ReadOrigDbptr(0, kept, &origin), 0);
    EXPECT_EQ(origin, parent);

    // Freeing a model with lists frees them (the leak checker watches).
    Point(parent, 0, live);
    EXPECT_EQ(mda__FreePtr(MDA_FREEPTR_WITH_PARENTS, parent), 0); // grand still refers to it
    EXPECT_EQ(Parents(live), Ptrs{});
    EXPECT_EQ(mda_RegisterNoBackPtrTF(0, NewModel(0), kTag), MDA_NO_BACKPTRS);
    EXPECT_EQ(mda_RegisterNoBackPtrTF(0, model_, MVX_TF(9, 9)), MDA_UNKNOWN_TF);
}

// Every allocation a list needs may fail: the failure is reported and the
// lists stay as they were.
TEST_F(BackPtrTest, AllocationFailuresLoseNothing) {
    const MDA_PTR parent = Node(3);
    const MDA_PTR child = Plain(kLeaf);
    Point(parent, 0, child);
    for (long n = 1;; ++n) {
        mvxc::SetAllocFailure(n);
        const int32_t rc = mda_AddPtr(parent, child, nullptr);
        mvxc::SetAllocFailure(0);
        if (rc == 0) break;
        EXPECT_EQ(rc, MDA_PAR_LIST_ERR);
        EXPECT_EQ(Parents(child).size(), 1u) << n;
    }
    EXPECT_EQ(Parents(child), (Ptrs{parent, parent}));
    int32_t count = -1;
    MDA_PTR* array = nullptr;
    mvxc::SetAllocFailure(1);
    EXPECT_EQ(mda_GetParents(0, child, &count, &array), MDA_MALLOC_ERR);
    mvxc::SetAllocFailure(0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(array, nullptr);
}

// The origin's identifier by its dictionary's name.
TEST_F(BackPtrTest, OriginIdentifierFollowsTheDictionary) {
    struct Row {
        const char* name;
        const char* field;
        const char* expected;
    } rows[] = {
        {"iges", "int de;", "4711"},
        {"automotive_design_cc2", "int de;", "4711"},
        {"dxfi", "fstring handle[8];", "1F"},
        {"other", "int de;", ""}, // filled in below: the entity number
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = tmp_.path() + "/" + row.name + ".ddl";
        FILE* f = std::fopen(path.c_str(), "w");
        std::fprintf(f, "dictionary %s version 1 revision 0;\nentity 1:0 e { %s }\n", row.name,
                     row.field);
        std::fclose(f);
        mvxtest::CompiledDict source;
        ASSERT_TRUE(source.Load(path));
        MDA_MODEL_DEF def;
        mda_GetModelDefaults(0, &def);
        def.ddf = source.get();
        int32_t model = 0;
        ASSERT_EQ(mda_AllocateModel(0, &def, &model), 0);
        void* body = nullptr;
        MDA_PTR from = 0;
        ASSERT_EQ(mda_AllocateEntity2(0, model, MVX_TF(1, 0), &body, &from), 0);
        char* first = static_cast<char*>(body) + sizeof(MDA_ENTITY_HDR);
        if (row.field[0] == 'i')
            *reinterpret_cast<int32_t*>(first) = 4711;
        else
            std::snprintf(first, 8, "1F");
        ASSERT_EQ(mda_UnlockEntity(MDA_UNLOCK_MODIFIED, from), 0);

        const MDA_PTR to = Plain(kLeaf);
        // Unset, the origin is the entity itself, of a dictionary named otherwise.
        char text[MDA_ORIG_ID_SIZE] = "x";
        EXPECT_EQ(mda_OrigEntityID(0, to, text), 0);
        EXPECT_EQ(text, std::to_string(MDA_PTR_ENTITY(to)));
        ASSERT_EQ(mda_WriteOrigDbptr(0, to, from), 0);
        EXPECT_EQ(mda_OrigEntityID(0, to, text), 0);
        const std::string want =
            row.expected[0] != '\0' ? row.expected : std::to_string(MDA_PTR_ENTITY(to));
        EXPECT_EQ(text, want);
        ASSERT_EQ(mda_FreeModel(0, model), 0);
    }
}

} // namespace
