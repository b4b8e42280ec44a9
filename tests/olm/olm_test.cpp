// Object lists: random operations for every record size from 1 to 72 bytes
// against a reference list of the records, the current element, the cycle
// and the reports, with allocations failing now and then; then the reports
// of bad sizes and null lists.
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "support/capture.h"
#include "support/fixture.h"

class ObjectList : public mvxtest::LibraryTest {};

namespace {

using Record = std::string; // a record's bytes; merges compare the first one

// A report as the error stack holds it.
std::string Text(const std::string& name, const std::string& message) {
    return "*** Error (" + name + ") ***\n" + message;
}

int ByFirstByte(const void* key, const void* object) {
    const auto a = *static_cast<const uint8_t*>(key), b = *static_cast<const uint8_t*>(object);
    return (a > b) - (a < b);
}

// The records head to tail, and the index of the current one (-1: none).
std::vector<Record> Records(const OLM_LIST* list, int32_t* current = nullptr) {
    std::vector<Record> out;
    for (const OLM_ELEM* elem = list->head; elem != nullptr; elem = elem->next) {
        if (elem == list->current && current != nullptr)
            *current = static_cast<int32_t>(out.size());
        out.emplace_back(reinterpret_cast<const char*>(elem + 1), list->size);
    }
    return out;
}

// Checks every invariant of a list: head to tail gives count elements with
// matching back links, each an 8-byte aligned slot of one of its blocks; the
// current element is null exactly when the list is empty and otherwise in
// it; the free chain holds exactly the other slots; 0 <= cycle <= count.
::testing::AssertionResult ListIsConsistent(const OLM_LIST* list) {
    auto fail = [] { return ::testing::AssertionFailure(); };
    std::unordered_set<const void*> slots, used, free_slots;
    std::size_t blocks = 0;
    for (void* block = list->blocks; block != nullptr;
         block = *static_cast<void**>(block), ++blocks) {
        for (int32_t i = 0; i < list->per_block; ++i)
            slots.insert(static_cast<unsigned char*>(block) + 8 + i * list->slot_size);
    }
    const OLM_ELEM* prev = nullptr;
    for (const OLM_ELEM* elem = list->head; elem != nullptr; prev = elem, elem = elem->next) {
        if (slots.count(elem) == 0 || reinterpret_cast<uintptr_t>(elem) % 8 != 0 ||
            !used.insert(elem).second || elem->prev != prev) {
            return fail() << "element " << used.size() << " misplaced, looped or mislinked";
        }
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

// The reference list: records in order, the index of the current one (-1:
// none), the cycle index, and the reports expected from the step.
struct Model {
    std::vector<Record> items;
    int32_t cur = -1;
    int32_t cycle = 0;
    std::vector<std::string> reports; // newest first, as on the stack

    int32_t size() const { return static_cast<int32_t>(items.size()); }
    void Report(const std::string& name, const std::string& message) {
        reports.insert(reports.begin(), Text(name, message));
    }
    int32_t Fail(int32_t position) {
        Report("OLM_INVALIDPOSITION", "Invalid position = " + std::to_string(position) + "\n");
        return -1;
    }
    // Adding: where the record goes, or -1.
    bool Add(int32_t position, const Record& rec) {
        int32_t at = position == OLM_HEAD || position == 1 ? 0
                     : position == OLM_TAIL                ? size()
                     : position == OLM_CURRENT             ? std::max(cur, 0)
                     : position < OLM_TAIL                 ? Fail(position)
                     : position - 1 <= size()              ? position - 1
                                                           : Fail(position - 1);
        if (at < 0 && position > 1 && size() == 0) at = 0;
        if (at < 0 && position > 1) Fail(position);
        if (at >= 0) items.insert(items.begin() + (cur = at), rec);
        return at >= 0;
    }
    // The element a position names, or -1 (with a report when out of range).
    int32_t Find(int32_t position) {
        if (position == OLM_HEAD) return size() != 0 ? 0 : -1;
        if (position == OLM_TAIL) return size() - 1;
        if (position == OLM_CURRENT) return cur;
        return position < OLM_TAIL || position > size() ? Fail(position) : position - 1;
    }
    int32_t Get(int32_t position) {
        const int32_t at = Find(position);
        if (at >= 0 && position >= 1) cycle = 0;
        return at >= 0 ? cur = at : -1;
    }
    int32_t Remove(int32_t position) {
        const std::size_t reported = reports.size();
        const int32_t at = Find(position);
        if (at < 0 && reports.size() == reported) Fail(position); // -1, -2, 0 of an empty list
        if (at < 0) return OLM_INVALIDPOSITION;
        items.erase(items.begin() + at);
        if (cur > at || cur == size()) --cur;
        cycle = 0;
        return 0;
    }
    int32_t Cycle() {
        if (++cycle > size()) return cycle = 0, -1;
        if (cycle == 1) return cur = 0;
        if (cur + 1 < size()) return ++cur;
        Report("OLM_NULLPOINTER", "NULL pointer\n");
        return cycle = 0, -1;
    }
    // Whether a record handed out is the one at the index (-1: none).
    bool Is(const void* got, int32_t at) const {
        if (at < 0 || got == nullptr) return at < 0 && got == nullptr;
        const Record& want = items[static_cast<std::size_t>(at)];
        return std::memcmp(got, want.data(), want.size()) == 0;
    }
    void Adopt(const std::vector<Record>& records) {
        items = records;
        cur = size() - 1;
        cycle = 0;
    }
};

// The set operation on first bytes; of equal records the first one of a
// list counts, and list one's where both lists hold the value.
std::vector<Record> SetMerge(const std::vector<Record>& one, const std::vector<Record>& two,
                             uint8_t operation) {
    std::map<char, Record> a, b, out;
    for (const Record& r : one)
        a.emplace(r[0], r);
    for (const Record& r : two)
        b.emplace(r[0], r);
    for (const auto& [value, rec] : a) {
        if (operation == OTM_UNION || (operation == OTM_SYMDIFF && b.count(value) == 0))
            out.emplace(value, rec);
    }
    for (const auto& [value, rec] : b) {
        if (operation == OTM_UNION || (operation == OTM_INTERSECT) == (a.count(value) != 0))
            out.emplace(value, rec);
    }
    std::vector<Record> result;
    for (const auto& [value, rec] : out)
        result.push_back(rec);
    return result;
}

void RunOne(int32_t size, std::mt19937& rng) {
    SCOPED_TRACE("record size " + std::to_string(size));
    auto pick = [&](int32_t lo, int32_t hi) {
        return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
    };
    auto fresh = [&] {
        Record rec(static_cast<std::size_t>(size), '\0');
        std::generate(rec.begin(), rec.end(), [&] { return static_cast<char>(rng()); });
        rec[0] = static_cast<char>(pick(0, 19));
        return rec;
    };
    OLM_LIST* list = olm_CreateList(0, size, 1 + size % 5, 0x1111);
    Model model;
    auto matches = [&] {
        int32_t cur = -1;
        return ListIsConsistent(list) && Records(list, &cur) == model.items && cur == model.cur &&
               list->cycle == model.cycle;
    };

    for (int step = 0; step < 250; ++step) {
        SCOPED_TRACE("step " + std::to_string(step));
        // Now and then a call that reports nothing else (a report allocates
        // too) runs with each of its allocations failing in turn first: a
        // failed run reports running out of memory once and changes nothing.
        const bool inject = pick(0, 15) == 0;
        auto run = [&](const std::function<bool()>& call, bool quiet = true) {
            mvxc::SetAllocFailure(0);
            if (!inject || !quiet) return void(call());
            mvxtest::FailEachAllocation(call, [&](bool failed) {
                EXPECT_TRUE(!failed ||
                            mvxtest::LastText().find("NOMEMORY) ***") != std::string::npos);
                EXPECT_EQ(mvxtest::StackTexts().size(), failed ? 1u : 0u);
                mpm_ClearError(0);
                EXPECT_TRUE(!failed || matches());
            });
        };
        const int action = model.size() > 100 && pick(0, 1) == 0 ? 40 : pick(0, 99);
        const int32_t pos =
            pick(0, 9) < 7 ? pick(OLM_TAIL, OLM_CURRENT) : pick(-4, model.size() + 3);
        const bool quiet = pos >= OLM_TAIL && pos <= 1;
        if (action < 30) {
            // The caller may fill the record itself. Only a list without a
            // free slot makes a block.
            const Record rec = fresh();
            const bool later = pick(0, 4) == 0, had_free = list->free != nullptr;
            const void* record = later ? nullptr : rec.data();
            void* got = nullptr;
            run([&] { return (got = olm_AddObject(0, list, pos, record)) != nullptr; }, quiet);
            ASSERT_TRUE(inject || !quiet || mvxc::AllocCount() == (had_free ? 0 : 1));
            ASSERT_EQ(got != nullptr, model.Add(pos, rec));
            if (got != nullptr && later) std::memcpy(got, rec.data(), rec.size());
            ASSERT_TRUE(got == nullptr || got == list->current + 1);
        } else if (action < 40) {
            // olm__SetCurIndex gives the element itself, olm_GetObject its record.
            auto* elem = static_cast<OLM_ELEM*>(olm__SetCurIndex(0, list, pos));
            const void* got = elem == nullptr   ? nullptr
                              : pick(0, 1) == 0 ? olm_GetObject(0, list, OLM_CURRENT)
                                                : elem + 1;
            ASSERT_TRUE(model.Is(got, model.Get(pos)));
            ASSERT_TRUE(elem == nullptr || elem == list->current);
        } else if (action < 60) {
            ASSERT_EQ(olm_RemoveObject(0, list, pos), model.Remove(pos));
        } else if (action < 68) {
            ASSERT_TRUE(model.Is(olm_CycleList(0, list), model.Cycle()));
        } else if (action < 72) {
            // The array's records stand in order where the position points.
            std::vector<Record> array(static_cast<std::size_t>(pick(0, 5)));
            std::string bytes;
            for (Record& rec : array)
                bytes += rec = fresh();
            const auto count = static_cast<int32_t>(array.size());
            int32_t rc = 0;
            run([&] { return (rc = olm_AddArray(0, list, pos, count, bytes.data())) == 0; },
                quiet && count > 0);
            if (count == 0) model.Report("OLM_INVALIDSIZE", "Invalid size = 0\n");
            const bool added = count > 0 && model.Add(pos, array.back());
            for (int32_t i = count - 2; i >= 0 && added; --i)
                model.Add(OLM_CURRENT, array[static_cast<std::size_t>(i)]);
            ASSERT_EQ(rc, count == 0 ? OLM_INVALIDSIZE : added ? 0 : OLM_INVALIDPOSITION);
        } else if (action < 75) {
            int32_t count = -1;
            void* array = nullptr;
            run([&] { return (array = olm_GetArray(0, list, &count)) != nullptr; });
            ASSERT_EQ(count, model.size());
            for (int32_t i = 0; i < count; ++i)
                ASSERT_TRUE(model.Is(static_cast<char*>(array) + i * size, i));
            mvx_Free(0, array);
            if (count != 0) model.cycle = 0;
        } else if (action < 78) {
            OLM_LIST* copy = nullptr;
            run([&] { return (copy = olm_CopyList(0, list)) != nullptr; });
            ASSERT_TRUE(ListIsConsistent(copy) && Records(copy) == model.items);
            ASSERT_TRUE(copy->user == list->user && copy->per_block == list->per_block &&
                        copy->current == copy->tail);
            model.cycle = 0;
            if (pick(0, 1) != 0) std::swap(list, copy), model.Adopt(model.items);
            olm_DeleteList(0, copy);
        } else if (action < 98) {
            // The list as operand one or two, against a null list or a list
            // of a few fresh records (perhaps none). A null or (unless an
            // option says otherwise) empty operand gives a copy of the other.
            const bool first = pick(0, 1) == 0, none = pick(0, 9) == 0;
            OLM_LIST* partner = none ? nullptr : olm_CreateList(0, size, 3, 0x2222);
            std::vector<Record> theirs;
            for (int32_t n = none ? 0 : pick(0, 6); n > 0; --n)
                olm_AddObject(0, partner, OLM_TAIL, theirs.emplace_back(fresh()).data());
            OLM_LIST* one = first ? list : partner;
            OLM_LIST* two = first ? partner : list;
            const std::vector<Record>* a = first ? &model.items : none ? nullptr : &theirs;
            const std::vector<Record>* b = first ? (none ? nullptr : &theirs) : &model.items;
            const auto options = static_cast<uint32_t>(pick(0, 3));
            const auto operation = static_cast<uint8_t>(pick(0, 12) % 4); // 0: no operation
            const bool copy_two = a == nullptr || (b != nullptr && a->empty() && options == 0);
            const bool copy_one = !copy_two && (b == nullptr || (b->empty() && options == 0));
            const bool tree = !copy_one && !copy_two && operation != 0;
            std::vector<Record> expected = copy_one        ? *a
                                           : copy_two && b ? *b
                                                           : std::vector<Record>{};
            if (tree) expected = SetMerge(*a, *b, operation);
            OLM_LIST* merged = nullptr;
            run([&] {
                return (merged = olm_MergeList(options, one, two, operation, ByFirstByte));
            });
            ASSERT_EQ(merged == nullptr, expected.empty() && !copy_one && !copy_two);
            if (first ? copy_one : copy_two || tree) model.cycle = 0;
            if (merged != nullptr) {
                const OLM_LIST* layout = copy_two ? two : one;
                ASSERT_TRUE(ListIsConsistent(merged) && Records(merged) == expected);
                ASSERT_TRUE(merged->user == layout->user && merged->per_block == layout->per_block);
                if (pick(0, 2) == 0) std::swap(list, merged), model.Adopt(expected);
                olm_DeleteList(0, merged);
            }
            if (partner != nullptr) olm_DeleteList(0, partner);
        } else {
            ASSERT_EQ(olm_RemoveAll(0, list), 0);
            model.Adopt({});
        }
        ASSERT_TRUE(matches());
        ASSERT_EQ(mvxtest::StackTexts(), model.reports);
        mpm_ClearError(0);
        model.reports.clear();
    }
    olm_DeleteList(0, list);
}

} // namespace

TEST_F(ObjectList, RandomOperationsMatchTheReferenceForEveryRecordSize) {
    std::mt19937 rng(20240611);
    for (int32_t size = 1; size <= 72 && !HasFatalFailure(); ++size)
        RunOne(size, rng);
}

TEST_F(ObjectList, BadSizesNullListsAndUnequalMergesAreReported) {
    // A size whose slot size would not fit in 32 bits is refused too.
    std::vector<std::string> reports;
    for (const auto& [size, per_block] : {std::pair{0, 10}, {-4, 10}, {4, 0}, {INT32_MAX, 1}}) {
        EXPECT_EQ(olm_CreateList(0, size, per_block, 0), nullptr);
        const std::string refused = std::to_string(per_block > 0 ? size : per_block);
        reports.insert(reports.begin(),
                       Text("OLM_INVALIDSIZE", "Invalid size = " + refused + "\n"));
    }
    int32_t count = 5, value = 1;
    EXPECT_EQ(olm_DeleteList(0, nullptr), OLM_NULLPOINTER);
    EXPECT_EQ(olm_AddObject(0, nullptr, OLM_TAIL, &value), nullptr);
    EXPECT_EQ(olm_GetObject(0, nullptr, OLM_HEAD), nullptr);
    EXPECT_EQ(olm_RemoveObject(0, nullptr, OLM_HEAD), OLM_NULLPOINTER);
    EXPECT_EQ(olm_RemoveAll(0, nullptr), OLM_NULLPOINTER);
    EXPECT_EQ(olm_CycleList(0, nullptr), nullptr);
    EXPECT_EQ(olm_AddArray(0, nullptr, OLM_TAIL, 1, &value), OLM_NULLPOINTER);
    EXPECT_TRUE(olm_GetArray(0, nullptr, &count) == nullptr && count == 0);
    EXPECT_EQ(olm_CopyList(0, nullptr), nullptr);
    EXPECT_EQ(olm__CreateBlock(0, nullptr), OLM_NULLPOINTER);
    EXPECT_EQ(olm__SetCurIndex(0, nullptr, 1), nullptr);
    reports.insert(reports.begin(), 11, Text("OLM_NULLPOINTER", "NULL pointer\n"));
    OLM_LIST* four = olm_CreateList(0, 4, 10, 0);
    OLM_LIST* eight = olm_CreateList(0, 8, 10, 0);
    olm_AddObject(0, four, OLM_TAIL, &value);
    olm_AddObject(0, eight, OLM_TAIL, nullptr);
    EXPECT_EQ(olm_MergeList(0, four, eight, OTM_UNION, nullptr), nullptr);
    reports.insert(reports.begin(),
                   Text("OLM_SIZENOTEQ", "Data size one (4) does not equal data size two (8)\n"));
    EXPECT_EQ(mvxtest::StackTexts(), reports);
    mpm_ClearError(0);
    EXPECT_EQ(olm_MergeList(0, four, four, OTM_UNION, nullptr), nullptr);
    EXPECT_EQ(mpm__LastError, OTM_NULLPOINTER);
    olm_DeleteList(0, four);
    olm_DeleteList(0, eight);
}
