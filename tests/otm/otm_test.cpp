// Object tree: the AVL shape after rotations, removal with the predecessor
// exchange, cycling, arrays, copies, merges, by-reference objects, the
// reports of bad arguments, a randomized run against std::set with a
// whole-structure check after every step, and allocation-failure injection.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "support/fixture.h"

namespace {

class ObjectTree : public mvxtest::LibraryTest {};

using Keys = std::vector<int>;

int IntCompare(const void* key, const void* object) {
    const int a = *static_cast<const int*>(key);
    const int b = *static_cast<const int*>(object);
    return a < b ? -7 : (a > b ? 9 : 0); // any sign-correct value must do
}

int Key(const OTM_NODE* node) {
    return *static_cast<const int*>(node->object);
}

// Checks one subtree; returns its height, or -1 after describing a fault.
int CheckNode(const OTM_TREE* tree, const OTM_NODE* node, int depth, const void*& previous,
              int& count, std::string& fault) {
    if (node == nullptr) return 0;
    if (depth > 64) return fault = "deeper than any AVL tree can be", -1;
    const int left = CheckNode(tree, node->left, depth + 1, previous, count, fault);
    if (left < 0) return -1;
    if (node->object == nullptr) return fault = "node without object", -1;
    if (previous != nullptr && tree->compare(previous, node->object) >= 0) {
        return fault = "out of order at " + std::to_string(Key(node)), -1;
    }
    previous = node->object;
    ++count;
    const int right = CheckNode(tree, node->right, depth + 1, previous, count, fault);
    if (right < 0) return -1;
    if (node->balance != right - left || std::abs(node->balance) > 1) {
        return fault = "balance " + std::to_string(node->balance) + " at " +
                       std::to_string(Key(node)) + " with heights " + std::to_string(left) + "/" +
                       std::to_string(right),
               -1;
    }
    return 1 + std::max(left, right);
}

// The whole-structure check: order, balances, objects, count. "" when sound.
std::string CheckTree(const OTM_TREE* tree) {
    const void* previous = nullptr;
    int count = 0;
    std::string fault;
    if (CheckNode(tree, tree->root, 0, previous, count, fault) < 0) return fault;
    if (count != tree->count)
        return "count " + std::to_string(tree->count) + " for " + std::to_string(count) + " nodes";
    return "";
}

// The keys in order, read from the nodes (the cycle is not touched).
void Collect(const OTM_NODE* node, Keys& keys) {
    if (node == nullptr) return;
    Collect(node->left, keys);
    keys.push_back(Key(node));
    Collect(node->right, keys);
}
Keys KeysOf(const OTM_TREE* tree) {
    Keys keys;
    Collect(tree->root, keys);
    return keys;
}

OTM_TREE* MakeTree(const Keys& keys, intptr_t user = 0) {
    OTM_TREE* tree = otm_CreateTree(0, sizeof(int), IntCompare, user);
    for (int key : keys)
        EXPECT_NE(otm_AddObject(0, tree, &key), nullptr);
    return tree;
}

// The text of the most recent report on the error stack.
std::string LastText() {
    auto* record = static_cast<MPM_STACKREC*>(olm_GetObject(0, mpm__ErrorStack, OLM_HEAD));
    return record != nullptr && record->text != nullptr ? record->text : "";
}

int Cycle(OTM_TREE* tree, uint32_t options = 0) {
    const void* object = otm_CycleTree(options, tree);
    return object == nullptr ? -1 : *static_cast<const int*>(object);
}

TEST_F(ObjectTree, InsertRotationsGiveExpectedRootAndBalances) {
    for (const Keys& keys : {Keys{1, 2, 3}, Keys{3, 1, 2}, Keys{3, 2, 1}, Keys{1, 3, 2}}) {
        OTM_TREE* tree = MakeTree(keys);
        EXPECT_EQ(CheckTree(tree), "");
        EXPECT_EQ(Key(tree->root), 2);
        EXPECT_EQ(tree->root->balance, 0);
        EXPECT_EQ(Key(tree->root->left), 1);
        EXPECT_EQ(Key(tree->root->right), 3);
        otm_DeleteTree(0, tree);
    }
    // Double rotations through a pivot that leans: the outer nodes get the
    // balances the pivot's former lean leaves them with.
    OTM_TREE* tree = MakeTree({20, 10, 30, 5, 15, 12});
    EXPECT_EQ(CheckTree(tree), "");
    EXPECT_EQ(Key(tree->root), 15);
    EXPECT_EQ(tree->root->left->balance, 0);  // 10 over 5, 12
    EXPECT_EQ(tree->root->right->balance, 1); // 20 over -, 30
    otm_DeleteTree(0, tree);
    tree = MakeTree({20, 10, 30, 5, 15, 17});
    EXPECT_EQ(Key(tree->root), 15);
    EXPECT_EQ(tree->root->left->balance, -1); // 10 over 5, -
    EXPECT_EQ(tree->root->right->balance, 0); // 20 over 17, 30
    otm_DeleteTree(0, tree);
}

TEST_F(ObjectTree, RemoveRebalancesAfterSingleAndDoubleRotations) {
    struct Case {
        Keys keys;
        int remove, root, root_balance, left_balance, right_balance;
    };
    const Case cases[] = {
        {{2, 1, 4, 3, 5}, 1, 4, -1, 1, 0},       // single over a balanced child: height kept
        {{2, 1, 3, 4}, 1, 3, 0, 0, 0},           // single over a leaning child
        {{2, 1, 4, 3}, 1, 3, 0, 0, 0},           // double through a balanced pivot
        {{5, 2, 8, 1, 7, 9, 6}, 1, 7, 0, 0, 1},  // double through a left-leaning pivot
        {{5, 2, 8, 1, 7, 9, 6}, 9, 5, 0, -1, 0}, // 8 rotates, still shrunk: 5 balances
    };
    for (const Case& c : cases) {
        OTM_TREE* tree = MakeTree(c.keys);
        ASSERT_EQ(otm_RemoveObject(0, tree, &c.remove), 0);
        EXPECT_EQ(CheckTree(tree), "") << c.remove;
        EXPECT_EQ(Key(tree->root), c.root) << c.remove;
        EXPECT_EQ(tree->root->balance, c.root_balance) << c.remove;
        EXPECT_EQ(tree->root->left->balance, c.left_balance) << c.remove;
        ASSERT_NE(tree->root->right, nullptr);
        EXPECT_EQ(tree->root->right->balance, c.right_balance) << c.remove;
        otm_DeleteTree(0, tree);
    }
}

TEST_F(ObjectTree, RemoveWithTwoChildrenKeepsPredecessorObjectInPlace) {
    OTM_TREE* tree = MakeTree({1, 2, 3, 4, 5, 6, 7});
    ASSERT_EQ(Key(tree->root), 4);
    const int three = 3, four = 4;
    void* predecessor = otm_GetObject(0, tree, &three);
    ASSERT_EQ(otm_RemoveObject(0, tree, &four), 0);
    EXPECT_EQ(CheckTree(tree), "");
    EXPECT_EQ(KeysOf(tree), (Keys{1, 2, 3, 5, 6, 7}));
    EXPECT_EQ(tree->root->object, predecessor); // the object moved node, not memory
    EXPECT_EQ(otm_GetObject(0, tree, &three), predecessor);
    EXPECT_EQ(tree->count, 6);
    otm_DeleteTree(0, tree);
}

TEST_F(ObjectTree, DuplicateReturnsStoredObjectAndKeepsCycle) {
    OTM_TREE* tree = MakeTree({1, 2, 3});
    EXPECT_EQ(Cycle(tree), 1);
    EXPECT_EQ(Cycle(tree), 2);
    int two = 2;
    void* stored = otm_GetObject(0, tree, &two);
    EXPECT_EQ(otm_AddObject(0, tree, &two), stored);
    EXPECT_EQ(otm_AddObject(OTM_BYREF, tree, &two), stored); // not taken by reference either
    EXPECT_EQ(tree->count, 3);
    EXPECT_EQ(Cycle(tree), 3);
    int four = 4;
    otm_AddObject(0, tree, &four); // a new object starts the cycle over
    EXPECT_EQ(Cycle(tree), 1);
    otm_DeleteTree(0, tree);
}

TEST_F(ObjectTree, CycleRunsAscendingOrDescendingThenNullThenRestarts) {
    OTM_TREE* tree = MakeTree({2, 3, 1});
    EXPECT_EQ(Cycle(tree), 1);
    EXPECT_EQ(Cycle(tree, OTM_DESCENDING), 2); // the direction is read at the start only
    EXPECT_EQ(Cycle(tree), 3);
    EXPECT_EQ(Cycle(tree), -1);
    EXPECT_EQ(tree->cycle, 0);
    EXPECT_EQ(Cycle(tree, OTM_DESCENDING), 3);
    EXPECT_EQ(Cycle(tree), 2);
    EXPECT_EQ(Cycle(tree), 1);
    EXPECT_EQ(Cycle(tree), -1);
    EXPECT_EQ(Cycle(tree), 1);
    otm_DeleteTree(0, tree);
    OTM_TREE* empty = MakeTree({});
    EXPECT_EQ(Cycle(empty), -1);
    EXPECT_EQ(Cycle(empty), -1);
    EXPECT_EQ(otm_CycleTree(0, nullptr), nullptr);
    EXPECT_EQ(mpm__LastError, 0);
    otm_DeleteTree(0, empty);
}

TEST_F(ObjectTree, BadArgumentsAndAbsentKeysReportTheirMessages) {
    EXPECT_EQ(otm_CreateTree(0, 0, IntCompare, 0), nullptr);
    EXPECT_EQ(mpm__LastError, OTM_INVALIDSIZE);
    EXPECT_NE(LastText().find("Invalid size = 0\n"), std::string::npos) << LastText();
    EXPECT_EQ(otm_CreateTree(0, -3, IntCompare, 0), nullptr);
    EXPECT_NE(LastText().find("Invalid size = -3\n"), std::string::npos) << LastText();
    EXPECT_EQ(otm_CreateTree(0, 4, nullptr, 0), nullptr);
    EXPECT_EQ(mpm__LastError, OTM_NULLPOINTER);

    OTM_TREE* tree = MakeTree({1, 2, 3});
    const int absent = 9;
    const int32_t stacked = mpm__ErrorStack->count;
    EXPECT_EQ(otm_GetObject(OTM_QUIET, tree, &absent), nullptr);
    EXPECT_EQ(mpm__LastError, OTM_NULLPOINTER); // untouched
    EXPECT_EQ(mpm__ErrorStack->count, stacked);
    EXPECT_EQ(otm_GetObject(0, tree, &absent), nullptr);
    EXPECT_EQ(mpm__LastError, OTM_NOTFOUND);
    EXPECT_NE(LastText().find("Object not found\n"), std::string::npos) << LastText();
    EXPECT_EQ(otm_RemoveObject(0, tree, &absent), OTM_NOTFOUND);
    EXPECT_EQ(tree->count, 3);
    EXPECT_EQ(CheckTree(tree), "");
    EXPECT_EQ(otm_RemoveObject(0, nullptr, &absent), OTM_NULLPOINTER);
    EXPECT_EQ(otm_RemoveObject(0, tree, nullptr), OTM_NULLPOINTER);
    EXPECT_EQ(otm_AddObject(0, tree, nullptr), nullptr);
    EXPECT_EQ(otm_GetObject(0, nullptr, &absent), nullptr);
    EXPECT_EQ(mpm__LastError, OTM_NULLPOINTER);
    EXPECT_EQ(otm_AddArray(0, tree, 0, &absent), OTM_INVALIDSIZE);
    EXPECT_NE(LastText().find("Invalid size = 0\n"), std::string::npos) << LastText();
    EXPECT_EQ(otm_AddArray(0, tree, 1, nullptr), OTM_NULLPOINTER);
    EXPECT_EQ(otm_CopyTree(0, nullptr), nullptr);
    EXPECT_EQ(mpm__LastError, OTM_NULLPOINTER);
    EXPECT_EQ(otm_DeleteTree(0, nullptr), 0);
    otm_DeleteTree(0, tree);
}

TEST_F(ObjectTree, ByReferenceKeepsCallerPointerAndRemoveHandsItBack) {
    OTM_TREE* tree = otm_CreateTree(0, sizeof(int), IntCompare, 0);
    std::vector<int*> objects;
    for (int key : {4, 2, 6, 1, 3, 5, 7}) {
        int* object = static_cast<int*>(std::malloc(sizeof(int)));
        *object = key;
        EXPECT_EQ(otm_AddObject(OTM_BYREF, tree, object), object);
        objects.push_back(object);
    }
    // 4 has two children: its object travels to the predecessor's node,
    // which is freed without it.
    ASSERT_EQ(otm_RemoveObject(OTM_BYREF, tree, objects[0]), 0);
    EXPECT_EQ(*objects[0], 4); // still ours (ASan would report a use after free)
    std::free(objects[0]);
    const int one = 1;
    ASSERT_EQ(otm_RemoveObject(OTM_BYREF, tree, &one), 0);
    std::free(objects[3]);
    const int two = 2; // without OTM_BYREF the tree frees what it was given
    ASSERT_EQ(otm_RemoveObject(0, tree, &two), 0);
    EXPECT_EQ(CheckTree(tree), "");
    EXPECT_EQ(KeysOf(tree), (Keys{3, 5, 6, 7}));
    otm_DeleteTree(0, tree); // frees the rest, by-reference objects included
}

TEST_F(ObjectTree, ArraysAndCopiesCarryEveryObjectInOrder) {
    OTM_TREE* tree = MakeTree({});
    const int values[] = {5, 3, 9, 3, 1};
    EXPECT_EQ(otm_AddArray(0, tree, 5, values), 0);
    EXPECT_EQ(KeysOf(tree), (Keys{1, 3, 5, 9}));
    int32_t count = -1;
    for (uint32_t options : {0U, static_cast<uint32_t>(OTM_DESCENDING)}) {
        Cycle(tree);
        int* array = static_cast<int*>(otm_GetArray(options, tree, &count));
        ASSERT_NE(array, nullptr);
        EXPECT_EQ(tree->cycle, 0);
        Keys expected = options != 0 ? Keys{9, 5, 3, 1} : Keys{1, 3, 5, 9};
        EXPECT_EQ(Keys(array, array + count), expected);
        mvx_Free(0, array);
    }
    tree->user = 42;
    Cycle(tree);
    OTM_TREE* copy = otm_CopyTree(0, tree);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(CheckTree(copy), "");
    EXPECT_EQ(KeysOf(copy), KeysOf(tree));
    EXPECT_EQ(copy->user, 42);
    EXPECT_EQ(copy->compare, tree->compare);
    EXPECT_EQ(tree->cycle, 0);
    EXPECT_NE(copy->root->object, otm_GetObject(0, tree, copy->root->object)); // own storage
    otm_DeleteTree(0, copy);
    OTM_TREE* empty = MakeTree({});
    count = -1;
    EXPECT_EQ(otm_GetArray(0, empty, &count), nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(mpm__LastError, 0);
    otm_DeleteTree(0, empty);
    otm_DeleteTree(0, tree);
}

// Records whose order looks at the key only, to see whose object a merge keeps.
struct Tagged {
    int key;
    char tag;
};

// "1a2b": each key in order followed by its object's tag.
void CollectTags(const OTM_NODE* node, std::string& text) {
    if (node == nullptr) return;
    CollectTags(node->left, text);
    const auto* object = static_cast<const Tagged*>(node->object);
    text += std::to_string(object->key) + object->tag;
    CollectTags(node->right, text);
}
std::string TagsOf(const OTM_TREE* tree) {
    std::string text;
    CollectTags(tree->root, text);
    return text;
}

TEST_F(ObjectTree, MergeGivesEachSetOperationAndLeavesInputs) {
    auto tagged = [](const Keys& keys, char tag, intptr_t user) {
        OTM_TREE* tree = otm_CreateTree(0, sizeof(Tagged), IntCompare, user);
        for (int key : keys) {
            Tagged object{key, tag};
            otm_AddObject(0, tree, &object);
        }
        return tree;
    };
    OTM_TREE* one = tagged({1, 2, 3}, 'a', 11);
    OTM_TREE* two = tagged({2, 3, 4}, 'b', 22);
    const struct {
        uint8_t operation;
        const char* result;
        intptr_t user;
    } cases[] = {
        {OTM_SYMDIFF, "1a4b", 11}, {OTM_UNION, "1a2a3a4b", 11}, {OTM_INTERSECT, "2b3b", 0}};
    for (const auto& c : cases) {
        OTM_TREE* merged = otm_MergeTree(0, one, two, c.operation);
        ASSERT_NE(merged, nullptr);
        EXPECT_EQ(CheckTree(merged), "");
        EXPECT_EQ(TagsOf(merged), c.result);
        EXPECT_EQ(merged->user, c.user);
        otm_DeleteTree(0, merged);
    }
    EXPECT_EQ(TagsOf(one), "1a2a3a");
    EXPECT_EQ(TagsOf(two), "2b3b4b");
    EXPECT_EQ(otm_MergeTree(0, one, two, 7), nullptr);
    EXPECT_EQ(mpm__LastError, 0);

    OTM_TREE* empty = tagged({}, 'e', 33);
    OTM_TREE* five = tagged({5}, 'f', 44);
    for (uint8_t operation : {1, 2, 3, 7}) {
        for (OTM_TREE* merged :
             {otm_MergeTree(0, empty, five, operation), otm_MergeTree(0, nullptr, five, operation),
              otm_MergeTree(0, five, empty, operation)}) {
            ASSERT_NE(merged, nullptr);
            EXPECT_EQ(TagsOf(merged), "5f");
            EXPECT_EQ(merged->user, 44);
            otm_DeleteTree(0, merged);
        }
    }
    OTM_TREE* ints = MakeTree({1});
    EXPECT_EQ(otm_MergeTree(0, ints, one, OTM_UNION), nullptr);
    EXPECT_EQ(mpm__LastError, OTM_SIZENOTEQ);
    EXPECT_NE(LastText().find("Data size one (4) does not equal data size two (8)\n"),
              std::string::npos)
        << LastText();
    OTM_TREE* other = otm_CreateTree(
        0, sizeof(Tagged), [](const void*, const void*) { return 0; }, 0);
    Tagged object{1, 'x'};
    otm_AddObject(0, other, &object);
    EXPECT_EQ(otm_MergeTree(0, one, other, OTM_UNION), nullptr);
    EXPECT_EQ(mpm__LastError, OTM_FUNCTIONNOTEQ);
    for (OTM_TREE* tree : {one, two, empty, five, ints, other})
        otm_DeleteTree(0, tree);
}

// Keys of a set operation as std::set algorithms compute them.
Keys Expected(uint8_t operation, const std::set<int>& one, const std::set<int>& two) {
    if (one.empty()) return Keys(two.begin(), two.end());
    if (two.empty()) return Keys(one.begin(), one.end());
    Keys out;
    auto to = std::back_inserter(out);
    if (operation == OTM_SYMDIFF) {
        std::set_symmetric_difference(one.begin(), one.end(), two.begin(), two.end(), to);
    } else if (operation == OTM_UNION) {
        std::set_union(one.begin(), one.end(), two.begin(), two.end(), to);
    } else {
        std::set_intersection(one.begin(), one.end(), two.begin(), two.end(), to);
    }
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
        // Small keys first for dense churn, then a wider range for taller trees.
        int key = pick(step < 10000 ? 48 : 400);
        const int action = pick(100);
        mpm_ClearError(0);
        if (action < 30) { // insert, a quarter of them by reference
            const bool byref = pick(4) == 0;
            int* mine = byref ? static_cast<int*>(std::malloc(sizeof(int))) : &key;
            *mine = key;
            void* stored = otm_AddObject(byref ? OTM_BYREF : 0, tree, mine);
            const bool added = model.insert(key).second;
            ASSERT_NE(stored, nullptr) << step;
            EXPECT_EQ(*static_cast<int*>(stored), key);
            EXPECT_EQ(stored == mine, byref && added) << step;
            if (byref && !added) std::free(mine);
            if (added) cycle = 0;
            current = key;
        } else if (action < 50) { // find
            const bool quiet = pick(2) == 0;
            void* found = otm_GetObject(quiet ? OTM_QUIET : 0, tree, &key);
            if (model.count(key) != 0) {
                ASSERT_NE(found, nullptr) << step;
                EXPECT_EQ(*static_cast<int*>(found), key);
                current = key;
            } else {
                EXPECT_EQ(found, nullptr) << step;
                EXPECT_EQ(mpm__LastError, quiet ? 0 : OTM_NOTFOUND) << step;
            }
        } else if (action < 75) { // remove
            const int32_t status = otm_RemoveObject(0, tree, &key);
            const bool removed = model.erase(key) != 0;
            EXPECT_EQ(status, removed ? 0 : OTM_NOTFOUND) << step;
            if (removed) cycle = 0;
        } else if (action < 93) { // one step of a cycle
            const uint32_t options = pick(2) == 0 ? 0U : static_cast<uint32_t>(OTM_DESCENDING);
            const int got = Cycle(tree, options);
            int expected = -1;
            int32_t error = 0;
            if (++cycle > static_cast<int32_t>(model.size())) {
                cycle = 0;
            } else if (cycle == 1) {
                chain.assign(model.begin(), model.end());
                if (options != 0) std::reverse(chain.begin(), chain.end());
                expected = chain[0];
            } else {
                // A find or a duplicate may have moved the current node ahead;
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
        } else if (action < 96) { // the whole tree as an array
            int32_t count = -1;
            const bool descending = pick(2) == 0;
            auto* array =
                static_cast<int*>(otm_GetArray(descending ? OTM_DESCENDING : 0, tree, &count));
            Keys keys(model.begin(), model.end());
            if (descending) std::reverse(keys.begin(), keys.end());
            EXPECT_EQ(Keys(array, array + count), keys) << step;
            std::free(array);
            cycle = 0;
        } else if (action < 98) { // copy
            OTM_TREE* copy = otm_CopyTree(0, tree);
            ASSERT_NE(copy, nullptr) << step;
            EXPECT_EQ(CheckTree(copy), "") << step;
            EXPECT_EQ(KeysOf(copy), KeysOf(tree)) << step;
            otm_DeleteTree(0, copy);
            cycle = 0;
        } else { // merge with a small random set; tree one's cycle is not touched
            std::set<int> other;
            for (int i = pick(12); i > 0; --i)
                other.insert(pick(48));
            OTM_TREE* two = MakeTree(Keys(other.begin(), other.end()));
            const auto operation = static_cast<uint8_t>(1 + pick(3));
            OTM_TREE* merged = otm_MergeTree(0, tree, two, operation);
            ASSERT_NE(merged, nullptr) << step;
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

// Fails the 1st, 2nd, ... allocation of `attempt` in turn until it succeeds.
// Every failing attempt must report OTM_NOMEMORY and leave `input` (if any)
// as it was, cycle included; the sanitizer build finds anything leaked.
// Returns the number of allocations the successful attempt made.
template <typename Attempt> long FailEachAllocation(const OTM_TREE* input, Attempt attempt) {
    const Keys keys = input != nullptr ? KeysOf(input) : Keys{};
    const int32_t cycle = input != nullptr ? input->cycle : 0;
    for (long n = 1; n <= 1000; ++n) {
        mpm_ClearError(0);
        mvxc::SetAllocFailure(n);
        const bool done = attempt();
        mvxc::SetAllocFailure(0);
        if (done) return n - 1;
        EXPECT_EQ(mpm__LastError, OTM_NOMEMORY) << "allocation " << n;
        if (input == nullptr) continue;
        EXPECT_EQ(CheckTree(input), "") << "allocation " << n;
        EXPECT_EQ(KeysOf(input), keys) << "allocation " << n;
        EXPECT_EQ(input->cycle, cycle) << "allocation " << n;
    }
    ADD_FAILURE() << "never succeeded";
    return -1;
}

TEST_F(ObjectTree, AllocationFailuresReportLeakNothingAndKeepInputs) {
    EXPECT_EQ(FailEachAllocation(nullptr,
                                 [] {
                                     OTM_TREE* made = otm_CreateTree(0, 4, IntCompare, 0);
                                     otm_DeleteTree(0, made);
                                     return made != nullptr;
                                 }),
              1);
    OTM_TREE* tree = MakeTree({});
    int key = 1000;
    auto add = [&] { return otm_AddObject(0, tree, &key) != nullptr; };
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
    EXPECT_EQ(FailEachAllocation(tree,
                                 [&] {
                                     int32_t count = 0;
                                     void* array = otm_GetArray(0, tree, &count);
                                     std::free(array);
                                     return array != nullptr;
                                 }),
              1);
    Cycle(tree);
    EXPECT_EQ(FailEachAllocation(tree,
                                 [&] {
                                     OTM_TREE* copy = otm_CopyTree(0, tree);
                                     otm_DeleteTree(0, copy);
                                     return copy != nullptr;
                                 }),
              1 + 2 * 43);
    Cycle(tree);
    Keys others;
    for (int i = 0; i < 30; ++i)
        others.push_back(i * 2);
    OTM_TREE* two = MakeTree(others);
    for (uint8_t operation : {OTM_SYMDIFF, OTM_UNION, OTM_INTERSECT}) {
        EXPECT_GT(FailEachAllocation(tree,
                                     [&] {
                                         OTM_TREE* merged = otm_MergeTree(0, tree, two, operation);
                                         otm_DeleteTree(0, merged);
                                         return merged != nullptr;
                                     }),
                  2 * 43)
            << static_cast<int>(operation);
        EXPECT_EQ(CheckTree(two), "");
        EXPECT_EQ(KeysOf(two), others);
    }
    otm_DeleteTree(0, two);
    otm_DeleteTree(0, tree);
}

} // namespace
