// Object tree: a randomized run against a std::map reference with a
// whole-structure check after every step (order, balances, counts, the
// cycle, by-reference objects, copies and merges), the reports of bad
// arguments, and allocation-failure injection.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "support/capture.h"
#include "support/fixture.h"

namespace {

class ObjectTree : public mvxtest::LibraryTest {};

// Records ordered by key only; the tag tells whose object a merge kept.
struct Tagged {
    int key;
    char tag;
};
using Map = std::map<int, char>;

int KeyCompare(const void* key, const void* object) {
    const int a = *static_cast<const int*>(key), b = *static_cast<const int*>(object);
    return a < b ? -7 : (a > b ? 9 : 0); // any sign-correct value must do
}

// Height of a subtree, or -1 after describing in `fault` what is wrong; the
// objects are collected in order.
int Check(const OTM_TREE* tree, const OTM_NODE* node, int depth, Map& seen, std::string& fault) {
    if (node == nullptr) return 0;
    if (depth > 64) return fault = "cyclic or unbalanced", -1;
    const int left = Check(tree, node->left, depth + 1, seen, fault);
    if (left < 0) return -1;
    const auto* object = static_cast<const Tagged*>(node->object);
    if (object == nullptr) return fault = "node without object", -1;
    if (!seen.empty() && tree->compare(&seen.rbegin()->first, object) >= 0) {
        return fault = "out of order at " + std::to_string(object->key), -1;
    }
    seen[object->key] = object->tag;
    const int right = Check(tree, node->right, depth + 1, seen, fault);
    if (right < 0) return -1;
    if (node->balance != right - left || std::abs(node->balance) > 1) {
        return fault = "wrong balance at " + std::to_string(object->key), -1;
    }
    return 1 + std::max(left, right);
}

// The whole-structure check: order, balances, objects, count. The objects
// (key and tag) in order when sound; the fault, as tag '!', otherwise.
Map Contents(const OTM_TREE* tree) {
    Map seen;
    std::string fault;
    if (tree == nullptr) return {{-1, '!'}};
    if (Check(tree, tree->root, 0, seen, fault) >= 0 &&
        static_cast<int>(seen.size()) != tree->count)
        fault = "count " + std::to_string(tree->count);
    if (!fault.empty()) ADD_FAILURE() << fault;
    return fault.empty() ? seen : Map{{-1, '!'}};
}

OTM_TREE* MakeTree(const Map& objects, intptr_t user = 0) {
    OTM_TREE* tree = otm_CreateTree(0, sizeof(Tagged), KeyCompare, user);
    std::vector<Tagged> array;
    for (const auto& [key, tag] : objects)
        array.push_back({key, tag});
    if (!array.empty()) {
        EXPECT_EQ(otm_AddArray(0, tree, static_cast<int32_t>(array.size()), array.data()), 0);
    }
    return tree;
}

// The set operation on the references: of a key in both, union keeps tree
// one's object and intersection tree two's; an empty side gives the other.
Map Merged(uint8_t operation, const Map& one, const Map& two) {
    if (one.empty() || two.empty()) return one.empty() ? two : one;
    Map out;
    for (const auto& [key, tag] : one) {
        const bool both = two.count(key) != 0;
        if (operation == OTM_UNION || (operation == OTM_SYMDIFF && !both)) out[key] = tag;
    }
    for (const auto& [key, tag] : two) {
        const bool both = one.count(key) != 0;
        if (operation == OTM_INTERSECT ? both : !both) out[key] = tag;
    }
    return out;
}

TEST_F(ObjectTree, RandomOperationsMatchTheReferenceAndKeepEveryInvariant) {
    std::mt19937 random(20240611);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    OTM_TREE* tree = MakeTree({}, 77);
    Map model;
    // The cycle as the tree must run it: its index, the chain made when it
    // started, and the key of the current node (found, added or handed out).
    int32_t cycle = 0;
    std::vector<int> chain;
    int current = -1;
    std::set<int> mine_keys; // objects stored by reference: ours to free once handed back
    for (int step = 0; step < 20000; ++step) {
        SCOPED_TRACE(step);
        Tagged object{pick(step < 10000 ? 48 : 400), static_cast<char>('a' + pick(26))};
        const int key = object.key, action = pick(100);
        mpm_ClearError(0);
        if (action < 30) {
            // By reference, the tree takes our pointer when the key is new
            // and hands back the stored object otherwise.
            const bool by_ref = pick(4) == 0;
            auto* mine = by_ref ? static_cast<Tagged*>(std::malloc(sizeof object)) : &object;
            *mine = object;
            auto* stored = static_cast<Tagged*>(otm_AddObject(by_ref ? OTM_BYREF : 0, tree, mine));
            ASSERT_NE(stored, nullptr);
            const bool added = model.emplace(key, object.tag).second;
            EXPECT_EQ(stored->tag, model[key]);
            if (by_ref) {
                EXPECT_EQ(stored == mine, added);
            }
            if (by_ref && !added) std::free(mine);
            if (by_ref && added) mine_keys.insert(key);
            if (added) cycle = 0;
            current = key;
        } else if (action < 50) {
            const bool quiet = pick(2) == 0;
            const auto* found =
                static_cast<Tagged*>(otm_GetObject(quiet ? OTM_QUIET : 0, tree, &key));
            const bool present = model.count(key) != 0;
            EXPECT_EQ(found == nullptr ? '-' : found->tag, present ? model[key] : '-');
            EXPECT_EQ(mpm__LastError, present || quiet ? 0 : OTM_NOTFOUND);
            if (present) current = key;
        } else if (action < 75) {
            // By reference, the removed object comes back whole (a node of
            // two children trades objects with its predecessor: the object
            // must leave with the node that is freed without it). A copy the
            // tree made stays the tree's.
            const bool removed = model.erase(key) != 0, by_ref = removed && pick(2) == 0;
            const bool mine_back = mine_keys.erase(key) != 0 && by_ref;
            auto* object_of = by_ref ? static_cast<Tagged*>(otm_GetObject(0, tree, &key)) : nullptr;
            const char tag = object_of != nullptr ? object_of->tag : 0;
            EXPECT_EQ(otm_RemoveObject(by_ref ? OTM_BYREF : 0, tree, &key),
                      removed ? 0 : OTM_NOTFOUND);
            if (by_ref) {
                EXPECT_TRUE(object_of->key == key && object_of->tag == tag);
                if (mine_back) std::free(object_of);
            }
            if (removed) cycle = 0;
        } else if (action < 93) {
            const uint32_t options = pick(2) == 0 ? 0U : OTM_DESCENDING;
            const auto* got = static_cast<Tagged*>(otm_CycleTree(options, tree));
            int expected = -1, error = 0;
            if (++cycle > static_cast<int32_t>(model.size())) {
                cycle = 0;
            } else if (cycle == 1) {
                chain.clear();
                for (const auto& entry : model)
                    chain.push_back(entry.first);
                if (options != 0) std::reverse(chain.begin(), chain.end());
                expected = chain[0];
            } else {
                // A find or duplicate may have moved the current node ahead;
                // the chain then runs out before the count does.
                auto at = std::find(chain.begin(), chain.end(), current);
                if (at != chain.end() && at + 1 != chain.end()) {
                    expected = at[1];
                } else {
                    cycle = 0;
                    error = OTM_NULLPOINTER;
                }
            }
            EXPECT_EQ(got == nullptr ? -1 : got->key, expected);
            EXPECT_EQ(mpm__LastError, error);
            if (expected >= 0) current = expected;
        } else if (action < 96) {
            int32_t count = -1;
            const bool descending = pick(2) == 0;
            auto* array =
                static_cast<Tagged*>(otm_GetArray(descending ? OTM_DESCENDING : 0, tree, &count));
            ASSERT_EQ(count, static_cast<int32_t>(model.size()));
            std::vector<int> keys;
            for (int32_t i = 0; i < count; ++i)
                keys.push_back(array[descending ? count - 1 - i : i].key);
            EXPECT_TRUE(std::equal(keys.begin(), keys.end(), model.begin(), model.end(),
                                   [](int k, const auto& entry) { return k == entry.first; }));
            std::free(array);
            cycle = 0;
        } else if (action < 98) {
            OTM_TREE* copy = otm_CopyTree(0, tree);
            EXPECT_EQ(Contents(copy), model);
            EXPECT_EQ(copy->user, 77);
            otm_DeleteTree(0, copy);
            cycle = 0;
        } else { // tree one's cycle is not touched by a merge
            Map other;
            for (int i = pick(12); i > 0; --i)
                other[pick(48)] = static_cast<char>('A' + pick(26));
            OTM_TREE* two = MakeTree(other, 88);
            const auto operation = static_cast<uint8_t>(1 + pick(3));
            const bool first = pick(2) == 0;
            OTM_TREE* merged = otm_MergeTree(0, first ? tree : two, first ? two : tree, operation);
            const Map expected =
                first ? Merged(operation, model, other) : Merged(operation, other, model);
            if (expected.empty()) {
                EXPECT_TRUE(merged == nullptr || merged->count == 0);
            } else {
                EXPECT_EQ(Contents(merged), expected);
            }
            otm_DeleteTree(0, merged);
            otm_DeleteTree(0, two);
            if (!first) cycle = 0;
        }
        ASSERT_EQ(Contents(tree), model);
        ASSERT_EQ(tree->cycle, cycle);
    }
    otm_DeleteTree(0, tree); // frees the rest, by-reference objects included
}

TEST_F(ObjectTree, BadArgumentsAndMergeOperandsAreReported) {
    OTM_TREE* one = MakeTree({{1, 'a'}, {2, 'a'}}, 11);
    OTM_TREE* two = MakeTree({{2, 'b'}, {3, 'b'}}, 22);
    const int key = 9;
    int32_t count = 5;
    EXPECT_EQ(otm_CreateTree(0, -3, KeyCompare, 0), nullptr);
    EXPECT_EQ(mvxtest::LastText(), "*** Error (OTM_INVALIDSIZE) ***\nInvalid size = -3\n");
    EXPECT_EQ(otm_GetObject(0, one, &key), nullptr);
    EXPECT_EQ(mvxtest::LastText(), "*** Error (OTM_NOTFOUND) ***\nObject not found\n");
    // Each refusal reports its code (0: none).
    auto refused = [](bool result, int32_t code) {
        const bool ok = result && mpm__LastError == code;
        mpm_ClearError(0);
        return ok;
    };
    EXPECT_TRUE(refused(otm_CreateTree(0, 4, nullptr, 0) == nullptr, OTM_NULLPOINTER));
    EXPECT_TRUE(refused(otm_CycleTree(0, nullptr) == nullptr, 0));
    EXPECT_TRUE(refused(otm_AddObject(0, nullptr, one) == nullptr, OTM_NULLPOINTER));
    EXPECT_TRUE(refused(otm_GetObject(0, one, nullptr) == nullptr, OTM_NULLPOINTER));
    EXPECT_TRUE(refused(otm_RemoveObject(0, one, nullptr) == OTM_NULLPOINTER, OTM_NULLPOINTER));
    EXPECT_TRUE(refused(otm_AddArray(0, one, 1, nullptr) == OTM_NULLPOINTER, OTM_NULLPOINTER));
    EXPECT_TRUE(refused(otm_AddArray(0, one, 0, &key) == OTM_INVALIDSIZE, OTM_INVALIDSIZE));
    EXPECT_TRUE(refused(otm_GetArray(0, one, nullptr) == nullptr, OTM_NULLPOINTER));
    EXPECT_TRUE(
        refused(otm_GetArray(0, nullptr, &count) == nullptr && count == 0, OTM_NULLPOINTER));
    EXPECT_TRUE(refused(otm_CopyTree(0, nullptr) == nullptr, OTM_NULLPOINTER));
    OTM_TREE* empty = MakeTree({});
    EXPECT_TRUE(refused(otm_GetArray(0, empty, &count) == nullptr && count == 0, 0));
    otm_DeleteTree(0, empty);
    EXPECT_TRUE(refused(otm_MergeTree(0, one, two, 7) == nullptr, 0));
    OTM_TREE* ints = otm_CreateTree(0, sizeof(int), KeyCompare, 0);
    int value = 1;
    otm_AddObject(0, ints, &value);
    EXPECT_TRUE(refused(otm_MergeTree(0, ints, one, OTM_UNION) == nullptr, OTM_SIZENOTEQ));
    OTM_TREE* other = otm_CreateTree(
        0, sizeof(Tagged), [](const void*, const void*) { return 0; }, 0);
    otm_AddObject(0, other, one->root->object);
    EXPECT_TRUE(refused(otm_MergeTree(0, one, other, OTM_UNION) == nullptr, OTM_FUNCTIONNOTEQ));

    // A null operand gives a copy of the other, user word included.
    OTM_TREE* merged = otm_MergeTree(0, nullptr, two, OTM_INTERSECT);
    EXPECT_EQ(Contents(merged), Contents(two));
    EXPECT_EQ(merged->user, 22);
    otm_DeleteTree(0, merged);
    for (OTM_TREE* tree : {one, two, ints, other})
        otm_DeleteTree(0, tree);
}

// Fails each allocation of `attempt` in turn: every failing run reports
// OTM_NOMEMORY and leaves `input` as it was, cycle included (the sanitizer
// build finds anything leaked). Returns the number of allocations made.
template <typename Attempt> long FailEachAllocation(const OTM_TREE* input, Attempt attempt) {
    const Map objects = Contents(input);
    const int32_t cycle = input->cycle;
    void* result = nullptr;
    return mvxtest::FailEachAllocation([&] { result = attempt(); },
                                       [&](bool failed) {
                                           if (!failed) return;
                                           EXPECT_EQ(result, nullptr);
                                           EXPECT_EQ(mpm__LastError, OTM_NOMEMORY);
                                           EXPECT_EQ(Contents(input), objects);
                                           EXPECT_EQ(input->cycle, cycle);
                                           mpm_ClearError(0);
                                       });
}

TEST_F(ObjectTree, AllocationFailuresReportLeakNothingAndKeepInputs) {
    OTM_TREE* tree = MakeTree({}); // stands in as the input while a tree is created
    OTM_TREE* made = nullptr;
    EXPECT_EQ(FailEachAllocation(tree, [&] { return made = otm_CreateTree(0, 4, KeyCompare, 0); }),
              1);
    otm_DeleteTree(0, made);
    Tagged object{1000, 'x'};
    auto add = [&] { return otm_AddObject(0, tree, &object); };
    EXPECT_EQ(FailEachAllocation(tree, add), 1); // the first slab, into an empty tree
    Map evens;
    for (int i = 0; i < 40; ++i) {
        object.key = i * 3;
        otm_AddObject(0, tree, &object);
        evens[i * 2] = 'e';
    }
    otm_CycleTree(0, tree);
    object.key = 50;
    EXPECT_EQ(FailEachAllocation(tree, add), 0); // the pools' slabs have room
    auto* mine = static_cast<Tagged*>(std::malloc(sizeof(Tagged)));
    *mine = {52, 'm'};
    // A by-reference object's node comes from a pool of its own.
    EXPECT_EQ(FailEachAllocation(tree, [&] { return otm_AddObject(OTM_BYREF, tree, mine); }), 1);
    otm_CycleTree(0, tree);
    int32_t count = 0;
    void* array = nullptr;
    EXPECT_EQ(FailEachAllocation(tree, [&] { return array = otm_GetArray(0, tree, &count); }), 1);
    std::free(array);
    otm_CycleTree(0, tree);
    EXPECT_EQ(FailEachAllocation(tree, [&] { return made = otm_CopyTree(0, tree); }),
              1 + 3); // the tree, slabs of 8, 16 and 32 nodes with their copies
    otm_DeleteTree(0, made);
    OTM_TREE* two = MakeTree(evens);
    for (const uint8_t operation : {OTM_SYMDIFF, OTM_UNION, OTM_INTERSECT}) {
        EXPECT_GT(
            FailEachAllocation(tree, [&] { return made = otm_MergeTree(0, tree, two, operation); }),
            3);
        EXPECT_EQ(Contents(two), evens);
        otm_DeleteTree(0, made);
    }
    otm_DeleteTree(0, two);
    otm_DeleteTree(0, tree);
}

} // namespace
