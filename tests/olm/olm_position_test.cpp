// olm__SetCurIndex hands out the element (links first), olm_GetObject its
// record: for every kind of position the element is the one made current
// and can be compared with head and tail, and its links can be followed.
#include "olm/olm_check.h"

TEST_F(ObjectList, SetCurIndexReturnsTheElementAndGetObjectItsRecord) {
    OLM_LIST* list = olmtest::IntList({1, 2, 3});
    struct Case {
        int32_t position;
        int32_t value;
    };
    for (const Case& c : {Case{OLM_HEAD, 1}, Case{OLM_TAIL, 3}, Case{2, 2}, Case{OLM_CURRENT, 2},
                          Case{3, 3}, Case{1, 1}}) {
        auto* elem = static_cast<OLM_ELEM*>(olm__SetCurIndex(0, list, c.position));
        ASSERT_NE(elem, nullptr) << c.position;
        EXPECT_EQ(elem, list->current) << c.position;
        EXPECT_EQ(olmtest::IntAt(olmtest::RecordOf(elem)), c.value) << c.position;
        EXPECT_EQ(olm_GetObject(0, list, c.position), olmtest::RecordOf(elem)) << c.position;
        // The links lead to the neighbours: 1 <-> 2 <-> 3.
        EXPECT_EQ(elem->prev == nullptr, elem == list->head) << c.position;
        EXPECT_EQ(elem->next == nullptr, elem == list->tail) << c.position;
        if (elem->next != nullptr) {
            EXPECT_EQ(olmtest::IntAt(olmtest::RecordOf(elem->next)), c.value + 1);
        }
    }
    EXPECT_EQ(olm__SetCurIndex(0, list, OLM_HEAD), list->head);
    EXPECT_EQ(olm__SetCurIndex(0, list, OLM_TAIL), list->tail);
    EXPECT_TRUE(olmtest::ListIsConsistent(list));

    // Null stays null in both: an empty list and a position out of range.
    OLM_LIST* empty = olmtest::IntList({});
    EXPECT_EQ(olm__SetCurIndex(0, empty, OLM_HEAD), nullptr);
    EXPECT_EQ(olm_GetObject(0, empty, OLM_CURRENT), nullptr);
    EXPECT_EQ(olm__SetCurIndex(0, list, 4), nullptr);
    EXPECT_EQ(olm_GetObject(0, list, 4), nullptr);
    EXPECT_TRUE(olmtest::TakeReports({olmtest::Position(4), olmtest::Position(4)}));
    olm_DeleteList(0, list);
    olm_DeleteList(0, empty);
}
