// Allocation failure injection: each operation that allocates is run with its
// 1st, 2nd, ... allocation failing until it succeeds. Every failing run must
// report one out-of-memory message and leave its input lists exactly as they
// were (the leak check of the sanitizer build catches anything it drops).
#include "olm/olm_check.h"

using olmtest::IntList;
using olmtest::Ints;
using olmtest::ListIsConsistent;

namespace {

// What a failed operation must leave alone.
struct Snapshot {
    explicit Snapshot(const OLM_LIST* list)
        : values(Ints(list)), current(list->current), cycle(list->cycle) {}
    bool operator==(const Snapshot&) const = default;
    std::vector<int32_t> values;
    const OLM_ELEM* current;
    int32_t cycle;
};

// Runs op (true on success) with allocation n failing, n = 1, 2, ..., until it
// succeeds; returns the number of failing runs.
template <class Op> long FailEachAllocation(const std::vector<OLM_LIST*>& inputs, Op op) {
    std::vector<Snapshot> before;
    for (OLM_LIST* list : inputs)
        before.emplace_back(list);
    for (long n = 1; n < 10000; ++n) {
        mvxc::SetAllocFailure(n);
        const bool ok = op();
        mvxc::SetAllocFailure(0);
        if (ok) return n - 1;
        EXPECT_TRUE(mpm__LastError == OLM_NOMEMORY || mpm__LastError == OTM_NOMEMORY)
            << std::hex << mpm__LastError << " when allocation " << std::dec << n << " fails";
        EXPECT_EQ(olmtest::Reports().size(), 1u) << n;
        mpm_ClearStack(0);
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            EXPECT_TRUE(ListIsConsistent(inputs[i])) << n;
            EXPECT_TRUE(Snapshot(inputs[i]) == before[i]) << "input " << i << " changed at " << n;
        }
    }
    ADD_FAILURE() << "the operation never succeeded";
    return -1;
}

std::vector<int32_t> Range(int32_t from, int32_t to) {
    std::vector<int32_t> out;
    for (int32_t v = from; v < to; ++v)
        out.push_back(v);
    return out;
}

} // namespace

TEST_F(ObjectList, CreateListSurvivesEachAllocationFailure) {
    long failures = FailEachAllocation({}, [] {
        OLM_LIST* list = olm_CreateList(0, 12, 5, 0);
        if (list == nullptr) return false;
        EXPECT_TRUE(ListIsConsistent(list));
        olm_DeleteList(0, list);
        return true;
    });
    EXPECT_EQ(failures, 2); // the list, then its first block
}

TEST_F(ObjectList, AddObjectNeedingBlockSurvivesAllocationFailure) {
    OLM_LIST* list = IntList({1, 2, 3, 4}, 4);
    olm_CycleList(0, list);
    olm_CycleList(0, list);
    const int32_t value = 9;
    EXPECT_EQ(FailEachAllocation(
                  {list}, [&] { return olm_AddObject(0, list, OLM_HEAD, &value) != nullptr; }),
              1);
    EXPECT_EQ(Ints(list), (std::vector<int32_t>{9, 1, 2, 3, 4}));
    olm_DeleteList(0, list);
}

TEST_F(ObjectList, CopyListSurvivesEachAllocationFailure) {
    OLM_LIST* list = IntList(Range(0, 25), 4);
    olm_GetObject(0, list, 7);
    olm_CycleList(0, list);
    OLM_LIST* copy = nullptr;
    EXPECT_EQ(FailEachAllocation({list}, [&] { return (copy = olm_CopyList(0, list)) != nullptr; }),
              8); // the list and 7 blocks of 4
    EXPECT_TRUE(ListIsConsistent(copy));
    EXPECT_EQ(Ints(copy), Range(0, 25));
    olm_DeleteList(0, copy);
    olm_DeleteList(0, list);
}

TEST_F(ObjectList, MergeListSurvivesEachAllocationFailure) {
    for (uint8_t operation : {OTM_SYMDIFF, OTM_UNION, OTM_INTERSECT}) {
        std::vector<int32_t> first = Range(0, 12), second = Range(6, 20);
        first.push_back(3); // duplicates in both lists
        second.push_back(15);
        OLM_LIST* one = IntList(first, 3);
        OLM_LIST* two = IntList(second, 3);
        olm_CycleList(0, two);
        OLM_LIST* merged = nullptr;
        long failures = FailEachAllocation({one, two}, [&] {
            merged = olm_MergeList(0, one, two, operation, olmtest::CompareInts);
            return merged != nullptr;
        });
        EXPECT_GT(failures, 10) << int{operation};
        ASSERT_TRUE(ListIsConsistent(merged));
        const std::vector<int32_t> expected = operation == OTM_SYMDIFF ? [] {
            auto v = Range(0, 6);
            auto w = Range(12, 20);
            v.insert(v.end(), w.begin(), w.end());
            return v;
        }()
            : operation == OTM_UNION ? Range(0, 20)
                                     : Range(6, 12);
        EXPECT_EQ(Ints(merged), expected) << int{operation};
        for (OLM_LIST* list : {merged, one, two})
            olm_DeleteList(0, list);
    }
}

TEST_F(ObjectList, GetArraySurvivesAllocationFailure) {
    OLM_LIST* list = IntList({4, 5, 6, 7, 8, 9}, 4);
    olm_CycleList(0, list);
    olm_CycleList(0, list);
    void* array = nullptr;
    int32_t count = -1;
    EXPECT_EQ(FailEachAllocation({list},
                                 [&] {
                                     array = olm_GetArray(0, list, &count);
                                     if (array == nullptr) {
                                         EXPECT_EQ(count, 0);
                                     }
                                     return array != nullptr;
                                 }),
              1);
    ASSERT_EQ(count, 6);
    auto* values = static_cast<int32_t*>(array);
    EXPECT_EQ(std::vector<int32_t>(values, values + 6), Ints(list));
    mvx_Free(0, array);
    olm_DeleteList(0, list);
}

TEST_F(ObjectList, AddArraySurvivesEachAllocationFailure) {
    OLM_LIST* list = IntList({1, 2, 3, 4, 5}, 2); // one free slot left
    olm_GetObject(0, list, 3);
    olm_CycleList(0, list);
    const std::vector<int32_t> array = Range(10, 19);
    long failures = FailEachAllocation({list}, [&] {
        int32_t status = olm_AddArray(0, list, 2, 9, array.data());
        if (status != 0) {
            EXPECT_EQ(status, OLM_NOMEMORY);
        }
        return status == 0;
    });
    EXPECT_GT(failures, 1);
    std::vector<int32_t> expected = {1};
    expected.insert(expected.end(), array.begin(), array.end());
    expected.insert(expected.end(), {2, 3, 4, 5});
    EXPECT_EQ(Ints(list), expected);
    EXPECT_TRUE(ListIsConsistent(list));
    olm_DeleteList(0, list);
}
