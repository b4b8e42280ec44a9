// Object tree storage: slabs that grow, freed slots reused at stable
// addresses, by-reference objects beside pool copies, a slab that fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <random>
#include <set>

#include "support/fixture.h"

namespace {

class ObjectTreePool : public mvxtest::LibraryTest {};

int IntCompare(const void* key, const void* object) {
    const int a = *static_cast<const int*>(key), b = *static_cast<const int*>(object);
    return (a > b) - (a < b);
}

TEST_F(ObjectTreePool, SlabsGrowAndFreedSlotsAreReusedAtStableAddresses) {
    OTM_TREE* tree = otm_CreateTree(0, sizeof(int), IntCompare, 0);
    std::map<int, int*> stored; // key -> the address the tree handed out
    std::set<int*> freed;
    // Slabs of 8, 16, 32 ... nodes, each with its copy: the first insertion
    // into each allocates one, the others nothing; later insertions take
    // freed slots.
    std::mt19937 random(7);
    for (int step = 0; step < 5000; ++step) {
        int key = step < 1016 ? step : static_cast<int>(random() % 2000);
        if (auto at = stored.find(key); at != stored.end()) {
            freed.insert(at->second);
            ASSERT_EQ(otm_RemoveObject(0, tree, &key), 0);
            stored.erase(at);
            continue;
        }
        if (stored.size() == 1016) continue;
        mvxc::SetAllocFailure(0);
        stored[key] = static_cast<int*>(otm_AddObject(0, tree, &key));
        const bool slab = step < 1016 && ((key + 8) & (key + 7)) == 0; // key + 8 a power of 2
        ASSERT_EQ(mvxc::AllocCount(), slab ? 1 : 0) << step;
        ASSERT_TRUE(step < 1016 || freed.erase(stored[key]) == 1) << "not a freed slot";
    }
    for (const auto& [key, object] : stored)
        ASSERT_TRUE(otm_GetObject(0, tree, &key) == object && *object == key);
    EXPECT_EQ(tree->count, static_cast<int32_t>(stored.size()));
    otm_DeleteTree(0, tree);
}

TEST_F(ObjectTreePool, AFailingSlabChangesNothingAndHandedBackCopiesStay) {
    OTM_TREE* tree = otm_CreateTree(0, sizeof(int), IntCompare, 0);
    for (int key = 0; key < 8; ++key)
        otm_AddObject(0, tree, &key);
    int key = 8; // the first slab full: a failing second slab changes nothing
    auto unchanged = [&](bool failed) {
        EXPECT_TRUE(!failed || (mpm__LastError == OTM_NOMEMORY && tree->count == 8));
        mpm_ClearError(0);
    };
    EXPECT_EQ(mvxtest::FailEachAllocation([&] { otm_AddObject(0, tree, &key); }, unchanged), 1);
    for (key = 9; key < 12; ++key) // malloc'ed blocks by reference beside copies
        otm_AddObject(OTM_BYREF, tree, new (std::malloc(sizeof(int))) int(key));
    const int copied = 2, kept = 9, freed = 11;
    const int* copy = static_cast<int*>(otm_GetObject(0, tree, &copied));
    int* mine = static_cast<int*>(otm_GetObject(0, tree, &kept));
    EXPECT_EQ(otm_RemoveObject(OTM_BYREF, tree, &copied) |
                  otm_RemoveObject(OTM_BYREF, tree, &kept) | otm_RemoveObject(0, tree, &freed),
              0);
    std::free(mine);
    for (key = 100; key < 120; ++key) // a handed-back copy is never reused
        EXPECT_NE(otm_AddObject(0, tree, &key), copy);
    EXPECT_EQ(*copy, copied);
    EXPECT_EQ(tree->count, 29);
    otm_DeleteTree(0, tree); // the sanitizer build finds a leak or a double free
}

TEST_F(ObjectTreePool, CopiesAreAlignedAsTheirSizeAllows) {
    // An object whose size is a multiple of 16 may hold a long double; every
    // copy is at least as aligned as the largest power of 2 dividing its size.
    for (const int32_t size : {4, 8, 12, 16, 24, 32, 40, 48, 100}) {
        OTM_TREE* tree = otm_CreateTree(0, size, IntCompare, 0);
        const std::uintptr_t align = std::min(16, size & -size);
        unsigned char object[100] = {};
        for (int key = 0; key < 40; ++key) {
            std::memcpy(object, &key, sizeof key);
            const auto at = reinterpret_cast<std::uintptr_t>(otm_AddObject(0, tree, object));
            ASSERT_EQ(at % align, 0U) << size;
        }
        otm_DeleteTree(0, tree);
    }
}

} // namespace
