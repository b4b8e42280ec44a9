// Object list: layout, positions, current element, cycling, arrays, copies,
// merges and the reports of every kind of bad argument.
#include "olm/olm_check.h"

using olmtest::IntAt;
using olmtest::IntList;
using olmtest::Ints;
using olmtest::ListIsConsistent;
using olmtest::Position;
using olmtest::TakeReports;
using Ints32 = std::vector<int32_t>;

namespace {

int32_t Blocks(const OLM_LIST* list) {
    int32_t n = 0;
    for (void* block = list->blocks; block != nullptr; block = *static_cast<void**>(block))
        ++n;
    return n;
}

void Add(OLM_LIST* list, int32_t position, int32_t value) {
    ASSERT_NE(olm_AddObject(0, list, position, &value), nullptr);
}

int32_t Current(const OLM_LIST* list) {
    return list->current == nullptr ? -1 : IntAt(olmtest::RecordOf(list->current));
}

} // namespace

TEST_F(ObjectList, RecordsOfEverySizeAreAlignedAndCopiedWhole) {
    for (int32_t size = 1; size <= 72; ++size) {
        OLM_LIST* list = olm_CreateList(0, size, 3, 77);
        ASSERT_TRUE(ListIsConsistent(list));
        EXPECT_EQ(list->slot_size, (size + 16 + 7) / 8 * 8);
        auto* slot = static_cast<unsigned char*>(list->blocks) + 8; // free chain in address order
        for (OLM_ELEM* elem = list->free; elem != nullptr; elem = elem->next) {
            EXPECT_EQ(reinterpret_cast<unsigned char*>(elem), slot);
            slot += list->slot_size;
        }
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
        int32_t count = 0;
        auto* array = static_cast<unsigned char*>(olm_GetArray(0, copy, &count));
        ASSERT_EQ(count, 7);
        EXPECT_EQ(std::vector<unsigned char>(array, array + all.size()), all) << size;
        for (const OLM_LIST* l : {list, copy}) {
            EXPECT_TRUE(ListIsConsistent(l));
            const unsigned char* expected = all.data();
            for (const OLM_ELEM* elem = l->head; elem != nullptr; elem = elem->next) {
                EXPECT_EQ(std::memcmp(olmtest::RecordOf(elem), expected, static_cast<size_t>(size)),
                          0)
                    << size;
                expected += size;
            }
        }
        mvx_Free(0, array);
        olm_DeleteList(0, copy);
        EXPECT_EQ(olm_DeleteList(0, list), 0);
    }
}

TEST_F(ObjectList, EleventhInsertMakesSecondBlockAndRemoveAllReusesBlocks) {
    OLM_LIST* list = olm_CreateList(0, 16, 10, 0);
    char record[16] = {};
    mvxc::SetAllocFailure(0);
    for (int i = 0; i < 10; ++i)
        olm_AddObject(0, list, OLM_TAIL, record);
    EXPECT_EQ(mvxc::AllocCount(), 0);
    EXPECT_EQ(list->free, nullptr);
    olm_AddObject(0, list, OLM_TAIL, record);
    EXPECT_EQ(mvxc::AllocCount(), 1);
    EXPECT_EQ(Blocks(list), 2);

    OLM_ELEM* head = list->head;
    OLM_ELEM* tail = list->tail;
    OLM_ELEM* old_free = list->free;
    EXPECT_EQ(olm_RemoveAll(0, list), 0);
    EXPECT_EQ(list->free, head);
    EXPECT_EQ(tail->next, old_free);
    EXPECT_TRUE(ListIsConsistent(list));
    mvxc::SetAllocFailure(0);
    for (int i = 0; i < 11; ++i)
        olm_AddObject(0, list, OLM_HEAD, record);
    EXPECT_EQ(mvxc::AllocCount(), 0);
    EXPECT_EQ(Blocks(list), 2);
    EXPECT_TRUE(ListIsConsistent(list));
    olm_DeleteList(0, list);
}

TEST_F(ObjectList, InsertAtHeadTailAndInFrontOfCurrent) {
    OLM_LIST* list = IntList({});
    for (int32_t v : {1, 2, 3})
        Add(list, OLM_HEAD, v);
    EXPECT_EQ(Ints(list), (Ints32{3, 2, 1}));
    olm_RemoveAll(0, list);
    for (int32_t v : {1, 2, 3})
        Add(list, OLM_TAIL, v);
    EXPECT_EQ(Current(list), 3);
    Add(list, OLM_CURRENT, 4);
    EXPECT_EQ(Ints(list), (Ints32{1, 2, 4, 3}));
    EXPECT_EQ(Current(list), 4);
    olm_GetObject(0, list, OLM_HEAD);
    Add(list, OLM_CURRENT, 5);
    EXPECT_EQ(Ints(list), (Ints32{5, 1, 2, 4, 3}));
    EXPECT_TRUE(ListIsConsistent(list));
    olm_DeleteList(0, list);
}

TEST_F(ObjectList, InsertAtNumberedPositionMakesItTheNth) {
    for (auto [position, expected] : std::vector<std::pair<int32_t, Ints32>>{
             {1, {9, 1, 2, 3}}, {2, {1, 9, 2, 3}}, {3, {1, 2, 9, 3}}, {4, {1, 2, 3, 9}}}) {
        OLM_LIST* list = IntList({1, 2, 3});
        Add(list, position, 9);
        EXPECT_EQ(Ints(list), expected) << position;
        EXPECT_EQ(Current(list), 9);
        EXPECT_TRUE(ListIsConsistent(list));
        olm_DeleteList(0, list);
    }
    EXPECT_TRUE(TakeReports({}));
}

TEST_F(ObjectList, InsertPastEndReportsLookupThenInsertionPosition) {
    OLM_LIST* list = IntList({1, 2, 3});
    olm_GetObject(0, list, 2);
    int32_t value = 9;
    EXPECT_EQ(olm_AddObject(0, list, 5, &value), nullptr);
    EXPECT_EQ(mpm__LastError, OLM_INVALIDPOSITION);
    EXPECT_TRUE(TakeReports({Position(4), Position(5)}));
    EXPECT_EQ(olm_AddObject(0, list, -3, &value), nullptr);
    EXPECT_TRUE(TakeReports({Position(-3)}));
    EXPECT_EQ(Ints(list), (Ints32{1, 2, 3}));
    EXPECT_EQ(Current(list), 2);

    // On an empty list only the lookup reports, and the record goes in.
    OLM_LIST* empty = IntList({});
    Add(empty, 3, 7);
    EXPECT_TRUE(TakeReports({Position(2)}));
    EXPECT_EQ(Ints(empty), (Ints32{7}));
    EXPECT_TRUE(ListIsConsistent(empty));
    olm_DeleteList(0, list);
    olm_DeleteList(0, empty);
}

TEST_F(ObjectList, GetObjectMovesCurrentAndReportsPositionsOutOfRange) {
    OLM_LIST* list = IntList({1, 2, 3});
    EXPECT_EQ(IntAt(olm_GetObject(0, list, 2)), 2);
    EXPECT_EQ(IntAt(olm_GetObject(0, list, OLM_CURRENT)), 2);
    EXPECT_EQ(olm_GetObject(0, list, 5), nullptr);
    EXPECT_EQ(mpm__LastError, OLM_INVALIDPOSITION);
    EXPECT_TRUE(TakeReports({Position(5)}));
    EXPECT_EQ(Current(list), 2);
    EXPECT_EQ(IntAt(olm_GetObject(0, list, OLM_TAIL)), 3);
    EXPECT_EQ(olm__SetCurIndex(0, list, OLM_HEAD), list->head);
    EXPECT_EQ(Current(list), 1);

    OLM_LIST* empty = IntList({});
    for (int32_t position : {OLM_HEAD, OLM_TAIL, OLM_CURRENT}) {
        EXPECT_EQ(olm_GetObject(0, empty, position), nullptr);
    }
    EXPECT_TRUE(TakeReports({}));
    EXPECT_EQ(olm_GetObject(0, empty, 1), nullptr);
    EXPECT_TRUE(TakeReports({Position(1)}));
    olm_DeleteList(0, list);
    olm_DeleteList(0, empty);
}

TEST_F(ObjectList, RemoveCurrentTailMakesPredecessorCurrent) {
    OLM_LIST* list = IntList({1, 2, 3});
    ASSERT_EQ(Current(list), 3);
    OLM_ELEM* tail = list->tail;
    EXPECT_EQ(olm_RemoveObject(0, list, OLM_CURRENT), 0);
    EXPECT_EQ(Current(list), 2);
    EXPECT_EQ(list->free, tail); // the slot is reused first
    EXPECT_EQ(Ints(list), (Ints32{1, 2}));
    EXPECT_TRUE(ListIsConsistent(list));
    olm_DeleteList(0, list);
}

TEST_F(ObjectList, RemoveCurrentMiddleMakesSuccessorCurrentAndOtherRemovalsKeepIt) {
    OLM_LIST* list = IntList({1, 2, 3, 4, 5});
    olm_GetObject(0, list, 2);
    EXPECT_EQ(olm_RemoveObject(0, list, 2), 0);
    EXPECT_EQ(Current(list), 3);
    EXPECT_EQ(olm_RemoveObject(0, list, OLM_HEAD), 0);
    EXPECT_EQ(olm_RemoveObject(0, list, OLM_TAIL), 0);
    EXPECT_EQ(Current(list), 3);
    EXPECT_EQ(Ints(list), (Ints32{3, 4}));
    EXPECT_EQ(olm_RemoveObject(0, list, 3), OLM_INVALIDPOSITION);
    EXPECT_TRUE(TakeReports({Position(3)}));
    EXPECT_EQ(olm_RemoveObject(0, list, 1), 0);
    EXPECT_EQ(olm_RemoveObject(0, list, 1), 0);
    EXPECT_EQ(list->current, nullptr);
    EXPECT_EQ(olm_RemoveObject(0, list, OLM_CURRENT), OLM_INVALIDPOSITION);
    EXPECT_TRUE(TakeReports({Position(0)}));
    EXPECT_TRUE(ListIsConsistent(list));
    olm_DeleteList(0, list);
}

TEST_F(ObjectList, CycleReturnsEachRecordThenNullThenStartsOver) {
    OLM_LIST* list = IntList({1, 2, 3});
    for (int32_t v : {1, 2, 3})
        EXPECT_EQ(IntAt(olm_CycleList(0, list)), v);
    EXPECT_EQ(olm_CycleList(0, list), nullptr);
    EXPECT_EQ(IntAt(olm_CycleList(0, list)), 1);

    // Adding does not restart a running cycle: it goes on after the new record.
    Add(list, 2, 8);
    EXPECT_EQ(IntAt(olm_CycleList(0, list)), 2);
    EXPECT_EQ(Ints(list), (Ints32{1, 8, 2, 3}));
    // A removal and a numbered position restart it.
    EXPECT_EQ(olm_RemoveObject(0, list, OLM_TAIL), 0);
    EXPECT_EQ(IntAt(olm_CycleList(0, list)), 1);
    EXPECT_EQ(IntAt(olm_CycleList(0, list)), 8);
    olm_GetObject(0, list, 3);
    EXPECT_EQ(IntAt(olm_CycleList(0, list)), 1);
    // A cycle whose current element was moved to the tail has nowhere to go.
    olm_GetObject(0, list, OLM_TAIL);
    EXPECT_EQ(olm_CycleList(0, list), nullptr);
    EXPECT_TRUE(TakeReports({{OLM_NULLPOINTER, "NULL pointer\n"}}));
    EXPECT_EQ(list->cycle, 0);

    OLM_LIST* empty = IntList({});
    EXPECT_EQ(olm_CycleList(0, empty), nullptr);
    EXPECT_TRUE(TakeReports({}));
    olm_DeleteList(0, list);
    olm_DeleteList(0, empty);
}

TEST_F(ObjectList, AddArrayKeepsArrayOrderAtThePosition) {
    const int32_t array[] = {1, 2, 3};
    for (auto [position, expected] :
         std::vector<std::pair<int32_t, Ints32>>{{OLM_TAIL, {8, 9, 1, 2, 3}},
                                                 {OLM_HEAD, {1, 2, 3, 8, 9}},
                                                 {2, {8, 1, 2, 3, 9}},
                                                 {OLM_CURRENT, {8, 1, 2, 3, 9}}}) {
        OLM_LIST* list = IntList({8, 9}, 2);
        EXPECT_EQ(olm_AddArray(0, list, position, 3, array), 0);
        EXPECT_EQ(Ints(list), expected) << position;
        EXPECT_EQ(Current(list), 1);
        EXPECT_TRUE(ListIsConsistent(list));
        olm_DeleteList(0, list);
    }
    OLM_LIST* list = IntList({9});
    EXPECT_EQ(olm_AddArray(0, list, 3, 3, array), OLM_INVALIDPOSITION);
    EXPECT_TRUE(TakeReports({Position(2), Position(3)}));
    EXPECT_EQ(olm_AddArray(0, list, OLM_TAIL, 0, array), OLM_INVALIDSIZE);
    EXPECT_TRUE(TakeReports({{OLM_INVALIDSIZE, "Invalid size = 0\n"}}));
    EXPECT_EQ(olm_AddArray(0, list, OLM_TAIL, 3, nullptr), OLM_NULLPOINTER);
    EXPECT_EQ(Ints(list), (Ints32{9}));
    EXPECT_TRUE(ListIsConsistent(list));
    olm_DeleteList(0, list);
}

TEST_F(ObjectList, GetArrayAndCopyListKeepOrderAndResetTheCycle) {
    OLM_LIST* list = IntList({5, 6, 7}, 2, 42);
    olm_CycleList(0, list);
    int32_t count = -1;
    auto* array = static_cast<int32_t*>(olm_GetArray(0, list, &count));
    ASSERT_EQ(count, 3);
    EXPECT_EQ(Ints32(array, array + 3), (Ints32{5, 6, 7}));
    EXPECT_EQ(list->cycle, 0);
    mvx_Free(0, array);

    olm_CycleList(0, list);
    OLM_LIST* copy = olm_CopyList(0, list);
    EXPECT_EQ(list->cycle, 0);
    ASSERT_TRUE(ListIsConsistent(copy));
    EXPECT_EQ(Ints(copy), (Ints32{5, 6, 7}));
    EXPECT_EQ(copy->per_block, 2);
    EXPECT_EQ(copy->user, 42);
    EXPECT_EQ(copy->current, copy->tail);

    OLM_LIST* empty = IntList({});
    EXPECT_EQ(olm_GetArray(0, empty, &count), nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(TakeReports({}));
    for (OLM_LIST* l : {list, copy, empty})
        olm_DeleteList(0, l);
}

TEST_F(ObjectList, MergeListBuildsSortedSetOfRecords) {
    struct Case {
        Ints32 one, two;
        uint8_t operation;
        Ints32 expected; // empty: NULL
    };
    for (const Case& c : std::vector<Case>{{{3, 1, 1}, {2, 3}, OTM_UNION, {1, 2, 3}},
                                           {{3, 1, 1}, {2, 3}, OTM_INTERSECT, {3}},
                                           {{3, 1, 1}, {2, 3}, OTM_SYMDIFF, {1, 2}},
                                           {{3, 1}, {2, 4}, OTM_INTERSECT, {}},
                                           {{1}, {1, 1}, OTM_SYMDIFF, {}},
                                           {{1}, {2, 2}, OTM_SYMDIFF, {1, 2}},
                                           {{3, 1, 1}, {2, 3}, 7, {}}}) {
        OLM_LIST* one = IntList(c.one, 4, 11);
        OLM_LIST* two = IntList(c.two, 5, 22);
        olm_CycleList(0, two);
        OLM_LIST* merged = olm_MergeList(0, one, two, c.operation, olmtest::CompareInts);
        if (c.expected.empty()) {
            EXPECT_EQ(merged, nullptr);
        } else {
            ASSERT_TRUE(ListIsConsistent(merged));
            EXPECT_EQ(Ints(merged), c.expected);
            EXPECT_EQ(merged->per_block, 4);
            EXPECT_EQ(merged->user, 11);
            olm_DeleteList(0, merged);
        }
        EXPECT_EQ(two->cycle, c.operation == 7 ? 1 : 0);
        EXPECT_EQ(Ints(one), c.one);
        olm_DeleteList(0, one);
        olm_DeleteList(0, two);
    }
    EXPECT_TRUE(TakeReports({}));
}

TEST_F(ObjectList, MergeListTakesEmptyOperandsAsAbsentUnlessAsked) {
    OLM_LIST* empty = IntList({}, 10, 1);
    OLM_LIST* five = IntList({5}, 10, 2);
    auto merge = [](uint32_t options, OLM_LIST* a, OLM_LIST* b, int op) {
        OLM_LIST* merged =
            olm_MergeList(options, a, b, static_cast<uint8_t>(op), olmtest::CompareInts);
        Ints32 values = merged == nullptr ? Ints32{-1} : Ints(merged);
        if (merged != nullptr) olm_DeleteList(0, merged);
        return values;
    };
    for (int op : {OTM_SYMDIFF, OTM_UNION, OTM_INTERSECT, 9}) {
        EXPECT_EQ(merge(0, empty, five, op), Ints32{5});
        EXPECT_EQ(merge(0, five, empty, op), Ints32{5});
    }
    EXPECT_EQ(merge(OLM_MERGE_EMPTY_ONE, empty, five, OTM_INTERSECT), Ints32{-1});
    EXPECT_EQ(merge(OLM_MERGE_EMPTY_TWO, empty, five, OTM_UNION), Ints32{5});
    EXPECT_EQ(merge(OLM_MERGE_EMPTY_ONE, five, empty, OTM_SYMDIFF), Ints32{5});
    EXPECT_EQ(merge(OLM_MERGE_EMPTY_ONE, empty, empty, OTM_UNION), Ints32{-1});
    EXPECT_EQ(merge(0, nullptr, five, OTM_UNION), Ints32{5});
    EXPECT_EQ(merge(0, five, nullptr, OTM_UNION), Ints32{5});
    EXPECT_EQ(merge(0, empty, nullptr, OTM_UNION), Ints32{});
    EXPECT_EQ(merge(0, nullptr, nullptr, OTM_UNION), Ints32{-1});
    EXPECT_TRUE(TakeReports({}));

    OLM_LIST* wide = olm_CreateList(0, 8, 10, 0);
    olm_AddObject(0, wide, OLM_TAIL, nullptr);
    EXPECT_EQ(merge(0, five, wide, OTM_UNION), Ints32{-1});
    EXPECT_TRUE(
        TakeReports({{OLM_SIZENOTEQ, "Data size one (4) does not equal data size two (8)\n"}}));
    EXPECT_EQ(olm_MergeList(0, five, five, OTM_UNION, nullptr), nullptr);
    EXPECT_EQ(mpm__LastError, OTM_NULLPOINTER);
    for (OLM_LIST* l : {empty, five, wide})
        olm_DeleteList(0, l);
}

TEST_F(ObjectList, BadSizesAndNullListsAreReported) {
    EXPECT_EQ(olm_CreateList(0, 0, 10, 0), nullptr);
    EXPECT_EQ(olm_CreateList(0, -4, 10, 0), nullptr);
    EXPECT_EQ(olm_CreateList(0, 4, 0, 0), nullptr);
    EXPECT_EQ(olm_CreateList(0, INT32_MAX, 1, 0), nullptr);
    EXPECT_TRUE(TakeReports({{OLM_INVALIDSIZE, "Invalid size = 0\n"},
                             {OLM_INVALIDSIZE, "Invalid size = -4\n"},
                             {OLM_INVALIDSIZE, "Invalid size = 0\n"},
                             {OLM_INVALIDSIZE, "Invalid size = 2147483647\n"}}));

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
    const olmtest::Report null_pointer{OLM_NULLPOINTER, "NULL pointer\n"};
    EXPECT_TRUE(TakeReports(std::vector<olmtest::Report>(11, null_pointer)));
}
