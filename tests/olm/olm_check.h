// Helpers of the object list tests: the fixture, a whole-structure checker
// and a check of the reports on the error stack.
#ifndef MVX_TEST_OLM_CHECK_H
#define MVX_TEST_OLM_CHECK_H

#include <cstdint>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "support/capture.h"
#include "support/fixture.h"

class ObjectList : public mvxtest::LibraryTest {};

namespace olmtest {

// Checks every invariant of a list: its blocks and the slots they hold;
// head to tail and tail to head give the same count elements, each 8-byte
// aligned; the current element is null exactly when the list is empty and
// is otherwise in it; the free chain holds exactly the other slots; the
// cycle index is in 0..count.
inline ::testing::AssertionResult ListIsConsistent(const OLM_LIST* list) {
    auto fail = [] { return ::testing::AssertionFailure(); };
    if (list->slot_size != (list->size + 16 + 7) / 8 * 8) return fail() << "slot size";
    std::unordered_set<const void*> slots;
    std::size_t blocks = 0;
    for (void* block = list->blocks; block != nullptr; block = *static_cast<void**>(block)) {
        if (++blocks > 100000) return fail() << "block chain does not end";
        for (int32_t i = 0; i < list->per_block; ++i)
            slots.insert(static_cast<unsigned char*>(block) + 8 + i * list->slot_size);
    }
    std::unordered_set<const OLM_ELEM*> used, free_slots;
    const OLM_ELEM* prev = nullptr;
    for (const OLM_ELEM* elem = list->head; elem != nullptr; prev = elem, elem = elem->next) {
        if (slots.count(elem) == 0 || reinterpret_cast<uintptr_t>(elem) % 8 != 0) {
            return fail() << "element outside every slot or unaligned";
        }
        if (!used.insert(elem).second) return fail() << "element chain loops";
        if (elem->prev != prev) return fail() << "prev link of element " << used.size();
    }
    if (prev != list->tail || used.size() != static_cast<std::size_t>(list->count)) {
        return fail() << "count " << list->count << " but " << used.size() << " elements";
    }
    if (list->count == 0 ? list->current != nullptr : used.count(list->current) == 0) {
        return fail() << "current element not in the list";
    }
    for (const OLM_ELEM* elem = list->free; elem != nullptr; elem = elem->next) {
        if (slots.count(elem) == 0 || used.count(elem) != 0 || !free_slots.insert(elem).second) {
            return fail() << "free slot outside every block, in use or met twice";
        }
    }
    if (blocks == 0 || free_slots.size() + used.size() != blocks * list->per_block) {
        return fail() << free_slots.size() << " free + " << used.size() << " used in " << blocks
                      << " blocks";
    }
    if (list->cycle < 0 || list->cycle > list->count) return fail() << "cycle " << list->cycle;
    return ::testing::AssertionSuccess();
}

// A report as it is expected: the name of its code and the end of its text.
using Report = std::pair<std::string, std::string>;

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
