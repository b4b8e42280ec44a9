// Helpers of the object list tests: the fixture, a whole-structure checker,
// and readers of list contents and of the error stack.
#ifndef MVX_TEST_OLM_CHECK_H
#define MVX_TEST_OLM_CHECK_H

#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "support/capture.h"
#include "support/fixture.h"

class ObjectList : public mvxtest::LibraryTest {};

namespace olmtest {

inline const unsigned char* RecordOf(const OLM_ELEM* elem) {
    return reinterpret_cast<const unsigned char*>(elem) + sizeof(OLM_ELEM);
}

// Checks every invariant of a list: the block chain and the slots it holds;
// head to tail and tail to head give the same count elements; the current
// element is null exactly when the list is empty and is otherwise in it; the
// free chain holds exactly the other slots; the cycle index is in 0..count.
inline ::testing::AssertionResult ListIsConsistent(const OLM_LIST* list) {
    auto fail = [] { return ::testing::AssertionFailure(); };
    if (list == nullptr) return fail() << "null list";
    if (list->size <= 0 || list->per_block <= 0) return fail() << "bad sizes";
    if (list->slot_size != (list->size + 16 + 7) / 8 * 8) return fail() << "slot size";

    std::unordered_set<const void*> slots;
    std::size_t blocks = 0;
    for (void* block = list->blocks; block != nullptr; block = *static_cast<void**>(block)) {
        if (++blocks > 100000) return fail() << "block chain does not end";
        auto* first = static_cast<unsigned char*>(block) + 8;
        for (int32_t i = 0; i < list->per_block; ++i)
            slots.insert(first + i * list->slot_size);
    }
    if (blocks == 0) return fail() << "no block";
    const std::size_t capacity = blocks * static_cast<std::size_t>(list->per_block);

    std::unordered_set<const OLM_ELEM*> used;
    const OLM_ELEM* prev = nullptr;
    for (const OLM_ELEM* elem = list->head; elem != nullptr; prev = elem, elem = elem->next) {
        if (slots.count(elem) == 0) return fail() << "element outside every slot";
        if (!used.insert(elem).second) return fail() << "element chain loops";
        if (elem->prev != prev) return fail() << "prev link of element " << used.size();
    }
    if (prev != list->tail) return fail() << "tail is not the last element";
    if (used.size() != static_cast<std::size_t>(list->count)) {
        return fail() << "count " << list->count << " but " << used.size() << " elements";
    }
    std::size_t backwards = 0;
    for (const OLM_ELEM* elem = list->tail; elem != nullptr; elem = elem->prev) {
        if (++backwards > used.size()) return fail() << "backward chain too long";
    }
    if (backwards != used.size()) return fail() << "backward chain too short";

    if (list->count == 0 ? list->current != nullptr : used.count(list->current) == 0) {
        return fail() << "current element not in the list";
    }
    std::unordered_set<const OLM_ELEM*> free_slots;
    for (const OLM_ELEM* elem = list->free; elem != nullptr; elem = elem->next) {
        if (slots.count(elem) == 0) return fail() << "free slot outside every block";
        if (used.count(elem) != 0) return fail() << "slot both free and in use";
        if (!free_slots.insert(elem).second) return fail() << "free chain loops";
    }
    if (free_slots.size() + used.size() != capacity) {
        return fail() << free_slots.size() << " free + " << used.size() << " used != " << capacity;
    }
    if (list->cycle < 0 || list->cycle > list->count) return fail() << "cycle " << list->cycle;
    return ::testing::AssertionSuccess();
}

// The first 32 bits of every record, head to tail.
inline std::vector<int32_t> Ints(const OLM_LIST* list) {
    std::vector<int32_t> out;
    for (const OLM_ELEM* elem = list->head; elem != nullptr; elem = elem->next) {
        int32_t value;
        std::memcpy(&value, RecordOf(elem), sizeof value);
        out.push_back(value);
    }
    return out;
}

inline int32_t IntAt(const void* record) {
    int32_t value;
    std::memcpy(&value, record, sizeof value);
    return value;
}

// A list of int32_t records appended in order.
inline OLM_LIST* IntList(const std::vector<int32_t>& values, int32_t per_block = 10,
                         intptr_t user = 0) {
    OLM_LIST* list = olm_CreateList(0, sizeof(int32_t), per_block, user);
    for (int32_t value : values)
        olm_AddObject(0, list, OLM_TAIL, &value);
    return list;
}

inline int CompareInts(const void* key, const void* object) {
    const int32_t a = IntAt(key), b = IntAt(object);
    return a < b ? -1 : a > b ? 1 : 0;
}

// A report as it is expected: the name of its code and the end of its text.
using Report = std::pair<std::string, std::string>;

inline Report Position(int32_t n) {
    return {"OLM_INVALIDPOSITION", "Invalid position = " + std::to_string(n) + "\n"};
}

// Checks that the error stack holds exactly the expected reports, oldest
// first in `expected`, and clears it.
inline ::testing::AssertionResult TakeReports(const std::vector<Report>& expected) {
    const std::vector<std::string> texts = mvxtest::StackTexts(); // newest first
    mpm_ClearError(0);
    if (texts.size() != expected.size()) {
        return ::testing::AssertionFailure()
               << texts.size() << " reports, expected " << expected.size();
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const auto& [name, text] = expected[expected.size() - 1 - i];
        if (texts[i].find("(" + name + ")") == std::string::npos || !texts[i].ends_with(text)) {
            return ::testing::AssertionFailure()
                   << "report " << i << " is '" << texts[i] << "', expected " << name << " '..."
                   << text << "'";
        }
    }
    return ::testing::AssertionSuccess();
}

} // namespace olmtest

#endif
