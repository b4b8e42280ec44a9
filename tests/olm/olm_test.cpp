// Object list: record layout and block reuse, the reports of bad sizes and
// null lists, and allocation-failure injection. Positions, the current
// element, cycling, arrays, copies and merges are checked by the randomized
// run against a reference list (olm_random_test.cpp).
#include <functional>

#include "olm/olm_check.h"

using olmtest::IntList;
using olmtest::Ints;
using olmtest::ListIsConsistent;
using olmtest::TakeReports;
using Ints32 = std::vector<int32_t>;

TEST_F(ObjectList, RecordsOfEverySizeAreAlignedAndCopiedWhole) {
    for (int32_t size = 1; size <= 72; ++size) {
        OLM_LIST* list = olm_CreateList(0, size, 3, 77);
        std::vector<unsigned char> all; // every record's bytes, head to tail
        for (int i = 0; i < 7; ++i) {
            std::vector<unsigned char> bytes(static_cast<size_t>(size));
            for (size_t b = 0; b < bytes.size(); ++b)
                bytes[b] = static_cast<unsigned char>(i * 31 + b + 1);
            // Odd ones are copied in; even ones the caller fills.
            void* record = olm_AddObject(0, list, OLM_TAIL, i % 2 != 0 ? bytes.data() : nullptr);
            ASSERT_NE(record, nullptr);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(record) % 8, 0u);
            if (i % 2 == 0) std::memcpy(record, bytes.data(), bytes.size());
            all.insert(all.end(), bytes.begin(), bytes.end());
        }
        OLM_LIST* copy = olm_CopyList(0, list);
        ASSERT_TRUE(ListIsConsistent(list) && ListIsConsistent(copy)) << size;
        int32_t count = 0;
        auto* array = static_cast<unsigned char*>(olm_GetArray(0, copy, &count));
        ASSERT_EQ(count, 7);
        EXPECT_EQ(std::vector<unsigned char>(array, array + all.size()), all) << size;
        mvx_Free(0, array);
        olm_DeleteList(0, copy);
        EXPECT_EQ(olm_DeleteList(0, list), 0);
    }
}

TEST_F(ObjectList, EleventhInsertMakesSecondBlockAndRemoveAllReusesBlocks) {
    OLM_LIST* list = olm_CreateList(0, 16, 10, 0);
    char record[16] = {};
    for (const int32_t position : {OLM_TAIL, OLM_HEAD}) {
        mvxc::SetAllocFailure(0); // restarts the allocation count
        for (int i = 0; i < 11; ++i)
            olm_AddObject(0, list, position, record);
        EXPECT_EQ(mvxc::AllocCount(), position == OLM_TAIL ? 1 : 0);
        EXPECT_TRUE(ListIsConsistent(list));
        OLM_ELEM* head = list->head;
        EXPECT_EQ(olm_RemoveAll(0, list), 0);
        EXPECT_EQ(list->free, head);
    }
    olm_DeleteList(0, list);
}

TEST_F(ObjectList, BadSizesNullListsAndUnequalMergesAreReported) {
    EXPECT_EQ(olm_CreateList(0, 0, 10, 0), nullptr);
    EXPECT_EQ(olm_CreateList(0, -4, 10, 0), nullptr);
    EXPECT_EQ(olm_CreateList(0, 4, 0, 0), nullptr);
    EXPECT_EQ(olm_CreateList(0, INT32_MAX, 1, 0), nullptr);
    EXPECT_TRUE(TakeReports({{"OLM_INVALIDSIZE", "Invalid size = 0\n"},
                             {"OLM_INVALIDSIZE", "Invalid size = -4\n"},
                             {"OLM_INVALIDSIZE", "Invalid size = 0\n"},
                             {"OLM_INVALIDSIZE", "Invalid size = 2147483647\n"}}));
    int32_t count = 5, value = 1;
    EXPECT_EQ(olm_DeleteList(0, nullptr), OLM_NULLPOINTER);
    EXPECT_EQ(olm_AddObject(0, nullptr, OLM_TAIL, &value), nullptr);
    EXPECT_EQ(olm_GetObject(0, nullptr, OLM_HEAD), nullptr);
    EXPECT_EQ(olm_RemoveObject(0, nullptr, OLM_HEAD), OLM_NULLPOINTER);
    EXPECT_EQ(olm_RemoveAll(0, nullptr), OLM_NULLPOINTER);
    EXPECT_EQ(olm_CycleList(0, nullptr), nullptr);
    EXPECT_EQ(olm_AddArray(0, nullptr, OLM_TAIL, 1, &value), OLM_NULLPOINTER);
    EXPECT_EQ(olm_GetArray(0, nullptr, &count), nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(olm_CopyList(0, nullptr), nullptr);
    EXPECT_EQ(olm__CreateBlock(0, nullptr), OLM_NULLPOINTER);
    EXPECT_EQ(olm__SetCurIndex(0, nullptr, 1), nullptr);
    EXPECT_TRUE(
        TakeReports(std::vector<olmtest::Report>(11, {"OLM_NULLPOINTER", "NULL pointer\n"})));

    OLM_LIST* five = IntList({5});
    OLM_LIST* wide = olm_CreateList(0, 8, 10, 0);
    olm_AddObject(0, wide, OLM_TAIL, nullptr);
    EXPECT_EQ(olm_MergeList(0, five, wide, OTM_UNION, olmtest::CompareInts), nullptr);
    EXPECT_TRUE(
        TakeReports({{"OLM_SIZENOTEQ", "Data size one (4) does not equal data size two (8)\n"}}));
    EXPECT_EQ(olm_MergeList(0, five, five, OTM_UNION, nullptr), nullptr);
    EXPECT_EQ(mpm__LastError, OTM_NULLPOINTER);
    olm_DeleteList(0, five);
    olm_DeleteList(0, wide);
}

// Each operation that allocates runs with its 1st, 2nd, ... allocation
// failing: every failing run reports one out-of-memory message and leaves its
// input lists exactly as they were (the sanitizer build catches leaks).
TEST_F(ObjectList, EveryAllocationFailureIsReportedAndKeepsTheInputs) {
    Ints32 first, second, insert;
    for (int32_t v = 0; v < 25; ++v)
        first.push_back(v);
    first.push_back(3); // a duplicate for the merges
    for (int32_t v = 6; v < 21; ++v)
        second.push_back(v);
    for (int32_t v = 100; v < 109; ++v)
        insert.push_back(v);
    OLM_LIST* one = IntList(first, 4);
    OLM_LIST* two = IntList(second, 3); // full: the next record needs a block
    olm_GetObject(0, one, 7);
    olm_CycleList(0, one);
    olm_CycleList(0, two);
    OLM_LIST* made = nullptr;
    void* array = nullptr;
    int32_t count = 0, status = 0;
    const int32_t value = 9;
    auto merge = [&](uint8_t operation) {
        return [&, operation] {
            return (made = olm_MergeList(0, one, two, operation, olmtest::CompareInts)) != nullptr;
        };
    };
    const struct {
        std::function<bool()> run;
        long failures; // -1: more than one, not counted exactly
    } ops[] = {
        {[&] { return (made = olm_CreateList(0, 12, 5, 0)) != nullptr; }, 2},
        {[&] { return olm_AddObject(0, two, OLM_HEAD, &value) != nullptr; }, 1}, // needs a block
        {[&] { return (made = olm_CopyList(0, one)) != nullptr; }, 8}, // the list, 7 blocks of 4
        {[&] { return (array = olm_GetArray(0, one, &count)) != nullptr; }, 1},
        {[&] { return (status = olm_AddArray(0, two, 2, 9, insert.data())) == 0; }, -1},
        {merge(OTM_SYMDIFF), -1},
        {merge(OTM_UNION), -1},
        {merge(OTM_INTERSECT), -1},
    };
    for (const auto& op : ops) {
        const Ints32 before_one = Ints(one), before_two = Ints(two);
        const OLM_ELEM* current[2] = {one->current, two->current};
        const int32_t cycle[2] = {one->cycle, two->cycle};
        bool ok = false;
        const long failures = mvxtest::FailEachAllocation(
            [&] { ok = op.run(); },
            [&](bool failed) {
                if (!failed) return;
                EXPECT_FALSE(ok);
                EXPECT_TRUE(mpm__LastError == OLM_NOMEMORY || mpm__LastError == OTM_NOMEMORY);
                EXPECT_EQ(mvxtest::StackTexts().size(), 1u);
                EXPECT_TRUE(status == 0 || status == OLM_NOMEMORY);
                EXPECT_TRUE(array == nullptr && count == 0);
                mpm_ClearError(0);
                EXPECT_TRUE(ListIsConsistent(one) && ListIsConsistent(two));
                EXPECT_EQ(Ints(one), before_one);
                EXPECT_EQ(Ints(two), before_two);
                EXPECT_TRUE(one->current == current[0] && two->current == current[1]);
                EXPECT_TRUE(one->cycle == cycle[0] && two->cycle == cycle[1]);
            });
        EXPECT_TRUE(ok);
        if (op.failures >= 0) {
            EXPECT_EQ(failures, op.failures);
        } else {
            EXPECT_GT(failures, 1);
        }
        if (made != nullptr) {
            EXPECT_TRUE(ListIsConsistent(made));
            olm_DeleteList(0, made);
            made = nullptr;
        }
        if (array != nullptr) {
            EXPECT_EQ(Ints32(static_cast<int32_t*>(array), static_cast<int32_t*>(array) + count),
                      Ints(one));
            mvx_Free(0, array);
            array = nullptr;
        }
        count = 0;
        status = 0;
    }
    Ints32 expected = {9};
    expected.insert(expected.end(), insert.begin(), insert.end());
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(Ints(two), expected);
    olm_DeleteList(0, one);
    olm_DeleteList(0, two);
}
