// Object list: the reports of bad sizes, null lists and unequal merges.
// Everything else is checked by the randomized run against a reference list
// (olm_random_test.cpp).
#include "olm/olm_check.h"

using olmtest::TakeReports;

TEST_F(ObjectList, BadSizesNullListsAndUnequalMergesAreReported) {
    // A size whose slot size would not fit in 32 bits is refused too.
    for (const auto& [size, per_block] : {std::pair{0, 10}, {-4, 10}, {4, 0}, {INT32_MAX, 1}}) {
        EXPECT_EQ(olm_CreateList(0, size, per_block, 0), nullptr);
        EXPECT_TRUE(
            TakeReports({{"OLM_INVALIDSIZE",
                          "Invalid size = " + std::to_string(per_block > 0 ? size : 0) + "\n"}}));
    }
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

    OLM_LIST* four = olm_CreateList(0, 4, 10, 0);
    OLM_LIST* eight = olm_CreateList(0, 8, 10, 0);
    olm_AddObject(0, four, OLM_TAIL, &value);
    olm_AddObject(0, eight, OLM_TAIL, nullptr);
    EXPECT_EQ(olm_MergeList(0, four, eight, OTM_UNION, nullptr), nullptr);
    EXPECT_TRUE(
        TakeReports({{"OLM_SIZENOTEQ", "Data size one (4) does not equal data size two (8)\n"}}));
    EXPECT_EQ(olm_MergeList(0, four, four, OTM_UNION, nullptr), nullptr);
    EXPECT_EQ(mpm__LastError, OTM_NULLPOINTER);
    olm_DeleteList(0, four);
    olm_DeleteList(0, eight);
}
