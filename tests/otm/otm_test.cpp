// Object tree: shapes after rotations and removals, cycling, merges, by-reference objects, reports
// of bad arguments, a randomized run against std::set with a whole-structure check after every
// step, and allocation-failure injection.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "support/capture.h"
#include "support/fixture.h"

namespace {

class ObjectTree : public mvxtest::LibraryTest {};

using Keys = std::vector<int>;

int IntCompare(const void* key, const void* object) {
    const int a = *static_cast<const int*>(key), b = *static_cast<const int*>(object);
    return a < b ? -7 : (a > b ? 9 : 0); // any sign-correct value must do
}

int Key(const OTM_NODE* node) {
    return *static_cast<const int*>(node->object);
}

// Height of a subtree, or -1 after describing in `fault` what is wrong.
int Check(const OTM_TREE* tree, const OTM_NODE* node, int depth, const void*& previous, int& count,
          std::string& fault) {
    if (node == nullptr) return 0;
    if (depth > 64) return fault = "cyclic or unbalanced", -1;
    const int left = Check(tree, node->left, depth + 1, previous, count, fault);
    if (left < 0) return -1;
    if (node->object == nullptr) return fault = "node without object", -1;
    if (previous != nullptr && tree->compare(previous, node->object) >= 0) {
        return fault = "out of order at " + std::to_string(Key(node)), -1;
    }
    previous = node->object;
    ++count;
    const int right = Check(tree, node->right, depth + 1, previous, count, fault);
    if (right < 0) return -1;
    if (node->balance != right - left || std::abs(node->balance) > 1) {
        return fault = "wrong balance at " + std::to_string(Key(node)), -1;
    }
    return 1 + std::max(left, right);
}

// The whole-structure check: order, balances, objects, count. "" when sound.
std::string CheckTree(const OTM_TREE* tree) {
    const void* previous = nullptr;
    int count = 0;
    std::string fault;
    if (Check(tree, tree->root, 0, previous, count, fault) >= 0 && count != tree->count) {
        fault = "count " + std::to_string(tree->count) + " for " + std::to_string(count) + " nodes";
    }
    return fault;
}

// "15(10-(5,-),20)": key, '+'/'-' for a leaning node, children if any.
std::string Shape(const OTM_NODE* node) {
    if (node == nullptr) return "-";
    std::string text =
        std::to_string(Key(node)) + (node->balance < 0 ? "-" : "") + (node->balance > 0 ? "+" : "");
    if (node->left == nullptr && node->right == nullptr) return text;
    return text + "(" + Shape(node->left) + "," + Shape(node->right) + ")";
}

void Collect(const OTM_NODE* node, Keys& keys) {
    if (node == nullptr) return;
    Collect(node->left, keys);
    keys.push_back(Key(node));
    Collect(node->right, keys);
}
// The keys in order, read from the nodes (the cycle is not touched).
Keys KeysOf(const OTM_TREE* tree) {
    Keys keys;
    Collect(tree->root, keys);
    return keys;
}

OTM_TREE* MakeTree(const Keys& keys, intptr_t user = 0) {
    OTM_TREE* tree = otm_CreateTree(0, sizeof(int), IntCompare, user);
    const auto count = static_cast<int32_t>(keys.size());
    if (count > 0 && otm_AddArray(0, tree, count, keys.data()) != 0) ADD_FAILURE() << "AddArray";
    return tree;
}

int Cycle(OTM_TREE* tree, uint32_t options = 0) {
    const void* object = otm_CycleTree(options, tree);
    return object == nullptr ? -1 : *static_cast<const int*>(object);
}

TEST_F(ObjectTree, InsertAndRemoveRotationsGiveExpectedShapes) {
    const struct {
        Keys keys;
        int remove; // 0: none
        const char* shape;
    } cases[] = {
        {{1, 2, 3}, 0, "2(1,3)"},                               // single rotation
        {{3, 1, 2}, 0, "2(1,3)"},                               // double rotation
        {{20, 10, 30, 5, 15, 12}, 0, "15(10(5,12),20+(-,30))"}, // pivot leaned to the new side
        {{20, 10, 30, 5, 15, 17}, 0, "15(10-(5,-),20(17,30))"}, // pivot leaned away
        {{2, 1, 4, 3, 5}, 1, "4-(2+(-,3),5)"},                  // single over a balanced child
        {{2, 1, 3, 4}, 1, "3(2,4)"},                            // single over a leaning child
        {{2, 1, 4, 3}, 1, "3(2,4)"},                            // double, balanced pivot
        {{5, 2, 8, 1, 7, 9, 6}, 1, "7(5(2,6),8+(-,9))"},        // double, leaning pivot
        {{5, 2, 8, 1, 7, 9, 6}, 9, "5(2-(1,-),7(6,8))"},        // shrinks through two levels
        {{1, 2, 3, 4, 5, 6, 7}, 4, "3(2-(1,-),6(5,7))"},        // two children: predecessor
    };
    for (const auto& c : cases) {
        OTM_TREE* tree = MakeTree(c.keys);
        const int32_t removed = c.remove != 0 ? otm_RemoveObject(0, tree, &c.remove) : 0;
        EXPECT_EQ(removed, 0);
        EXPECT_EQ(Shape(tree->root), c.shape);
        EXPECT_EQ(CheckTree(tree), "");
        otm_DeleteTree(0, tree);
    }
}

TEST_F(ObjectTree, BadArgumentsAndAbsentKeysReportTheirMessages) {
    OTM_TREE* tree = MakeTree({1, 2, 3});
    const int absent = 9;
    EXPECT_EQ(otm_CreateTree(0, -3, IntCompare, 0), nullptr);
    EXPECT_EQ(mvxtest::LastText(), "*** Error (OTM_INVALIDSIZE) ***\nInvalid size = -3\n");
    EXPECT_EQ(otm_CreateTree(0, 4, nullptr, 0), nullptr);
    EXPECT_EQ(mpm__LastError, OTM_NULLPOINTER);
    const auto stacked = mvxtest::StackTexts();
    EXPECT_EQ(otm_GetObject(OTM_QUIET, tree, &absent), nullptr);
    EXPECT_EQ(otm_CycleTree(0, nullptr), nullptr); // quiet too
    EXPECT_EQ(mvxtest::StackTexts(), stacked);
    EXPECT_EQ(otm_GetObject(0, tree, &absent), nullptr);
    EXPECT_EQ(mvxtest::LastText(), "*** Error (OTM_NOTFOUND) ***\nObject not found\n");
    EXPECT_EQ(otm_RemoveObject(0, tree, nullptr), OTM_NULLPOINTER);
    EXPECT_EQ(KeysOf(tree), (Keys{1, 2, 3}));
    otm_DeleteTree(0, tree);
}

TEST_F(ObjectTree, ByReferenceKeepsCallerPointerAndRemoveHandsItBack) {
    OTM_TREE* tree = MakeTree({});
    std::vector<int*> objects;
    for (int key : {4, 2, 6, 1, 3, 5, 7}) {
        objects.push_back(static_cast<int*>(std::malloc(sizeof(int))));
        *objects.back() = key;
        EXPECT_EQ(otm_AddObject(OTM_BYREF, tree, objects.back()), objects.back());
    }
    int two = 2; // a duplicate is not taken: the stored object comes back
    EXPECT_EQ(otm_AddObject(OTM_BYREF, tree, &two), objects[1]);
    // 4 has two children: the objects of 4 and its predecessor 3 trade
    // nodes, so 3 stays where it was in memory and 4 leaves with the node
    // that is freed without it (ASan reports a use after free otherwise).
    ASSERT_EQ(otm_RemoveObject(OTM_BYREF, tree, objects[0]), 0);
    EXPECT_EQ(tree->root->object, objects[4]);
    EXPECT_EQ(*objects[0], 4);
    std::free(objects[0]);
    ASSERT_EQ(otm_RemoveObject(0, tree, objects[3]), 0); // without OTM_BYREF it is freed
    EXPECT_EQ(KeysOf(tree), (Keys{2, 3, 5, 6, 7}));
    otm_DeleteTree(0, tree); // frees the rest, by-reference objects included
}

// Records ordered by key only, to see whose object a merge keeps.
struct Tagged {
    int key;
    char tag;
};

std::string Tags(const OTM_NODE* node) {
    if (node == nullptr) return "";
    const auto* object = static_cast<const Tagged*>(node->object);
    return Tags(node->left) + std::to_string(object->key) + object->tag + Tags(node->right);
}

OTM_TREE* MakeTagged(const Keys& keys, char tag, intptr_t user) {
    OTM_TREE* tree = otm_CreateTree(0, sizeof(Tagged), IntCompare, user);
    for (int key : keys) {
        Tagged object{key, tag};
        otm_AddObject(0, tree, &object);
    }
    return tree;
}

TEST_F(ObjectTree, MergeGivesEachSetOperationAndLeavesInputs) {
    OTM_TREE* one = MakeTagged({1, 2, 3}, 'a', 11);
    OTM_TREE* two = MakeTagged({2, 3, 4}, 'b', 22);
    OTM_TREE* empty = MakeTagged({}, 'e', 33);
    OTM_TREE* five = MakeTagged({5}, 'f', 44);
    const struct {
        OTM_TREE *one, *two;
        uint8_t operation;
        const char* result;
        intptr_t user;
    } cases[] = {
        {one, two, OTM_SYMDIFF, "1a4b", 11},
        {one, two, OTM_UNION, "1a2a3a4b", 11},
        {one, two, OTM_INTERSECT, "2b3b", 0},
        {empty, five, OTM_SYMDIFF, "5f", 44},
        {nullptr, five, OTM_INTERSECT, "5f", 44},
        {five, empty, 7, "5f", 44},
        {one, two, 7, nullptr, 0},
    };
    for (const auto& c : cases) {
        OTM_TREE* merged = otm_MergeTree(0, c.one, c.two, c.operation);
        EXPECT_EQ(merged != nullptr, c.result != nullptr);
        if (merged == nullptr) continue;
        EXPECT_EQ(CheckTree(merged), "");
        EXPECT_EQ(Tags(merged->root), c.result);
        EXPECT_EQ(merged->user, c.user);
        otm_DeleteTree(0, merged);
    }
    EXPECT_EQ(mpm__LastError, 0); // operation 7 is refused without a message
    EXPECT_EQ(Tags(one->root), "1a2a3a");
    EXPECT_EQ(Tags(two->root), "2b3b4b");
    OTM_TREE* ints = MakeTree({1});
    EXPECT_EQ(otm_MergeTree(0, ints, one, OTM_UNION), nullptr);
    EXPECT_EQ(mpm__LastError, OTM_SIZENOTEQ);
    OTM_TREE* other = otm_CreateTree(
        0, sizeof(Tagged), [](const void*, const void*) { return 0; }, 0);
    otm_AddObject(0, other, one->root->object);
    EXPECT_EQ(otm_MergeTree(0, one, other, OTM_UNION), nullptr);
    EXPECT_EQ(mpm__LastError, OTM_FUNCTIONNOTEQ);
    for (OTM_TREE* tree : {one, two, empty, five, ints, other})
        otm_DeleteTree(0, tree);
}

Keys Expected(uint8_t operation, const std::set<int>& one, const std::set<int>& two) {
    if (one.empty() || two.empty())
        return one.empty() ? Keys(two.begin(), two.end()) : Keys(one.begin(), one.end());
    Keys out;
    auto to = std::back_inserter(out);
    if (operation == OTM_SYMDIFF)
        std::set_symmetric_difference(one.begin(), one.end(), two.begin(), two.end(), to);
    if (operation == OTM_UNION) std::set_union(one.begin(), one.end(), two.begin(), two.end(), to);
    if (operation == OTM_INTERSECT)
        std::set_intersection(one.begin(), one.end(), two.begin(), two.end(), to);
    return out;
}

TEST_F(ObjectTree, RandomOperationsMatchStdSetAndKeepEveryInvariant) {
    std::mt19937 random(20240611);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    OTM_TREE* tree = MakeTree({});
    std::set<int> model;
    // The cycle as the tree must run it: its index, the chain made when it
    // started, and the key of the current node (found, added or handed out).
    int32_t cycle = 0;
    Keys chain;
    int current = -1;
    for (int step = 0; step < 20000; ++step) {
        int key = pick(step < 10000 ? 48 : 400); // dense churn, then taller trees
        const int action = pick(100);
        mpm_ClearError(0);
        if (action < 30) {
            void* stored = otm_AddObject(0, tree, &key);
            ASSERT_NE(stored, nullptr) << step;
            EXPECT_EQ(*static_cast<int*>(stored), key);
            if (model.insert(key).second) cycle = 0;
            current = key;
        } else if (action < 50) {
            const bool quiet = pick(2) == 0;
            void* found = otm_GetObject(quiet ? OTM_QUIET : 0, tree, &key);
            const bool present = model.count(key) != 0;
            EXPECT_EQ(found == nullptr ? -1 : *static_cast<int*>(found), present ? key : -1);
            EXPECT_EQ(mpm__LastError, present || quiet ? 0 : OTM_NOTFOUND) << step;
            if (present) current = key;
        } else if (action < 75) {
            const bool removed = model.erase(key) != 0;
            EXPECT_EQ(otm_RemoveObject(0, tree, &key), removed ? 0 : OTM_NOTFOUND) << step;
            if (removed) cycle = 0;
        } else if (action < 93) {
            const uint32_t options = pick(2) == 0 ? 0U : OTM_DESCENDING;
            const int got = Cycle(tree, options);
            int expected = -1, error = 0;
            if (++cycle > static_cast<int32_t>(model.size())) {
                cycle = 0;
            } else if (cycle == 1) {
                chain.assign(model.begin(), model.end());
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
            EXPECT_EQ(got, expected) << step;
            EXPECT_EQ(mpm__LastError, error) << step;
            if (expected >= 0) current = expected;
        } else if (action < 96) {
            int32_t count = -1;
            const bool descending = pick(2) == 0;
            auto* array =
                static_cast<int*>(otm_GetArray(descending ? OTM_DESCENDING : 0, tree, &count));
            Keys keys(model.begin(), model.end());
            if (descending) std::reverse(keys.begin(), keys.end());
            EXPECT_EQ(Keys(array, array + count), keys) << step;
            std::free(array);
            cycle = 0;
        } else if (action < 98) {
            OTM_TREE* copy = otm_CopyTree(0, tree);
            EXPECT_EQ(CheckTree(copy), "") << step;
            EXPECT_EQ(KeysOf(copy), KeysOf(tree)) << step;
            otm_DeleteTree(0, copy);
            cycle = 0;
        } else { // tree one's cycle is not touched by a merge
            std::set<int> other;
            for (int i = pick(12); i > 0; --i)
                other.insert(pick(48));
            OTM_TREE* two = MakeTree(Keys(other.begin(), other.end()));
            const auto operation = static_cast<uint8_t>(1 + pick(3));
            OTM_TREE* merged = otm_MergeTree(0, tree, two, operation);
            EXPECT_EQ(CheckTree(merged), "") << step;
            EXPECT_EQ(KeysOf(merged), Expected(operation, model, other)) << step;
            otm_DeleteTree(0, merged);
            otm_DeleteTree(0, two);
        }
        ASSERT_EQ(CheckTree(tree), "") << "after step " << step;
        ASSERT_EQ(KeysOf(tree), Keys(model.begin(), model.end())) << "after step " << step;
        ASSERT_EQ(tree->cycle, cycle) << "after step " << step;
    }
    otm_DeleteTree(0, tree);
}

// Fails each allocation of `attempt` in turn: every failing run reports
// OTM_NOMEMORY and leaves `input` as it was, cycle included (the sanitizer
// build finds anything leaked). Returns the number of allocations made.
template <typename Attempt> long FailEachAllocation(const OTM_TREE* input, Attempt attempt) {
    const Keys keys = KeysOf(input);
    const int32_t cycle = input->cycle;
    void* result = nullptr;
    auto run = [&] { result = attempt(); };
    return mvxtest::FailEachAllocation(run, [&](bool failed) {
        if (!failed) return;
        EXPECT_EQ(result, nullptr);
        EXPECT_EQ(mpm__LastError, OTM_NOMEMORY);
        EXPECT_EQ(CheckTree(input), "");
        EXPECT_EQ(KeysOf(input), keys);
        EXPECT_EQ(input->cycle, cycle);
        mpm_ClearError(0);
    });
}

TEST_F(ObjectTree, AllocationFailuresReportLeakNothingAndKeepInputs) {
    OTM_TREE* tree = MakeTree({}); // stands in as the input while the tree is created
    OTM_TREE* made = nullptr;
    EXPECT_EQ(FailEachAllocation(tree, [&] { return made = otm_CreateTree(0, 4, IntCompare, 0); }),
              1);
    otm_DeleteTree(0, made);
    int key = 1000;
    auto add = [&] { return otm_AddObject(0, tree, &key); };
    EXPECT_EQ(FailEachAllocation(tree, add), 2); // node and copy, into an empty tree
    for (int i = 0; i < 40; ++i)
        otm_AddObject(0, tree, &(key = i * 3));
    Cycle(tree);
    key = 50;
    EXPECT_EQ(FailEachAllocation(tree, add), 2); // and into a full one
    int* mine = static_cast<int*>(std::malloc(sizeof(int)));
    *mine = 52;
    EXPECT_EQ(FailEachAllocation(tree, [&] { return otm_AddObject(OTM_BYREF, tree, mine); }), 1);
    Cycle(tree);
    int32_t count = 0;
    void* array = nullptr;
    EXPECT_EQ(FailEachAllocation(tree, [&] { return array = otm_GetArray(0, tree, &count); }), 1);
    std::free(array);
    auto copy = [&] { return made = otm_CopyTree(0, tree); };
    Cycle(tree);
    EXPECT_EQ(FailEachAllocation(tree, copy), 1 + 2 * 43);
    otm_DeleteTree(0, made);
    Keys evens;
    for (int i = 0; i < 30; ++i)
        evens.push_back(i * 2);
    OTM_TREE* two = MakeTree(evens);
    for (uint8_t operation : {OTM_SYMDIFF, OTM_UNION, OTM_INTERSECT}) {
        auto merge = [&] { return made = otm_MergeTree(0, tree, two, operation); };
        EXPECT_GT(FailEachAllocation(tree, merge), 2 * 43);
        EXPECT_EQ(KeysOf(two), evens);
        otm_DeleteTree(0, made);
    }
    otm_DeleteTree(0, two);
    otm_DeleteTree(0, tree);
}

} // namespace
