// Object lists: seeded runs of random operations on two lists, for every
// record size from 1 to 72 bytes, compared after every step with a reference
// list that also tracks the current element, the cycle index and the
// messages each step must report, and checked whole. Now and then an
// operation runs with its 1st, 2nd, ... allocation failing first, and adding
// must allocate only when no slot is free. Then the reports of bad sizes,
// null lists and unequal merges.
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

// A report as the error stack holds it.
std::string Text(const std::string& name, const std::string& message) {
    return "*** Error (" + name + ") ***\n" + message;
}

using Record = std::string; // the record's bytes; the first one is what merges compare

int CompareFirstBytes(const void* key, const void* object) {
    const auto a = *static_cast<const uint8_t*>(key), b = *static_cast<const uint8_t*>(object);
    return (a > b) - (a < b);
}

std::vector<Record> Records(const OLM_LIST* list) {
    std::vector<Record> out;
    for (const OLM_ELEM* elem = list->head; elem != nullptr; elem = elem->next)
        out.emplace_back(reinterpret_cast<const char*>(elem + 1), list->size);
    return out;
}

int32_t CurrentIndex(const OLM_LIST* list) {
    int32_t i = 0;
    for (const OLM_ELEM* elem = list->head; elem != nullptr; elem = elem->next, ++i) {
        if (elem == list->current) return i;
    }
    return -1;
}

// Checks every invariant of a list: its blocks and the slots they hold;
// head to tail and tail to head give the same count elements, each 8-byte
// aligned; the current element is null exactly when the list is empty and
// is otherwise in it; the free chain holds exactly the other slots; the
// cycle index is in 0..count.
::testing::AssertionResult ListIsConsistent(const OLM_LIST* list) {
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

// The reference list: records in order, the index of the current one (-1:
// none), the cycle index, and the reports expected from the step.
struct Model {
    std::vector<Record> items;
    int32_t cur = -1;
    int32_t cycle = 0;
    std::vector<std::string> reports; // oldest first

    int32_t size() const { return static_cast<int32_t>(items.size()); }
    int32_t Fail(int32_t position) {
        reports.push_back(
            Text("OLM_INVALIDPOSITION", "Invalid position = " + std::to_string(position) + "\n"));
        return -1;
    }
    // Where a record added at the position goes, or -1.
    int32_t AddIndex(int32_t position) {
        if (position < OLM_TAIL) return Fail(position);
        if (position == OLM_HEAD || position == 1) return 0;
        if (position == OLM_TAIL) return size();
        if (position == OLM_CURRENT) return std::max(cur, 0);
        if (position - 1 <= size()) return position - 1;
        Fail(position - 1);
        return size() != 0 ? Fail(position) : 0;
    }
    bool Add(int32_t position, const Record& rec) {
        const int32_t at = AddIndex(position);
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
        if (at < 0 && reports.size() == reported) Fail(position);
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
        reports.push_back(Text("OLM_NULLPOINTER", "NULL pointer\n"));
        return cycle = 0, -1;
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
    if (operation == OTM_UNION) out = a;
    for (const auto& [value, rec] : b) {
        if (operation == OTM_UNION || (a.count(value) != 0) == (operation == OTM_INTERSECT))
            out.emplace(value, rec);
    }
    for (const auto& [value, rec] : a) {
        if (operation == OTM_SYMDIFF && b.count(value) == 0) out.emplace(value, rec);
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
        for (char& c : rec)
            c = static_cast<char>(rng());
        rec[0] = static_cast<char>(pick(0, 19));
        return rec;
    };
    OLM_LIST* list = olm_CreateList(0, size, 1 + size % 5, 0x1111);
    Model model;
    auto same = [&](const void* got, int32_t want) {
        if (got == nullptr || want < 0) return (got == nullptr) == (want < 0);
        return Record(static_cast<const char*>(got), static_cast<std::size_t>(size)) ==
               model.items[static_cast<std::size_t>(want)];
    };
    // The state the reference gives the list.
    auto matches = [&] {
        return ListIsConsistent(list) && Records(list) == model.items &&
               CurrentIndex(list) == model.cur && list->cycle == model.cycle;
    };
    auto position = [&] {
        const int32_t r = pick(0, 9);
        return r < 3   ? OLM_HEAD
               : r < 5 ? OLM_TAIL
               : r < 7 ? OLM_CURRENT
                       : pick(-4, model.size() + 3);
    };

    for (int step = 0; step < 250; ++step) {
        SCOPED_TRACE("step " + std::to_string(step));
        // Now and then the call runs with each of its allocations failing in
        // turn first: a failed run reports running out of memory once and
        // leaves the list as it was.
        const bool inject = pick(0, 15) == 0;
        // Calls that report something else allocate for the report as well.
        auto run = [&](const std::function<bool()>& call, bool quiet = true) {
            mvxc::SetAllocFailure(0);
            if (!inject || !quiet) return void(call());
            mvxtest::FailEachAllocation(call, [&](bool failed) {
                if (!failed) return;
                EXPECT_TRUE(mpm__LastError == OLM_NOMEMORY || mpm__LastError == OTM_NOMEMORY);
                EXPECT_EQ(mvxtest::StackTexts().size(), 1u);
                mpm_ClearError(0);
                EXPECT_TRUE(matches());
            });
        };
        const int action = model.size() > 100 && pick(0, 1) == 0 ? 40 : pick(0, 99);
        if (action < 30) {
            // The caller may fill the record itself.
            const Record rec = fresh();
            const int32_t pos = position();
            const bool later = pick(0, 4) == 0, had_free = list->free != nullptr;
            void* got = nullptr;
            run(
                [&] {
                    return (got = olm_AddObject(0, list, pos, later ? nullptr : rec.data())) !=
                           nullptr;
                },
                pos >= OLM_TAIL && pos <= 1);
            // A block is made only when no slot is free (reports allocate too).
            ASSERT_TRUE(inject || pos > 1 || pos < OLM_TAIL ||
                        mvxc::AllocCount() == (had_free ? 0 : 1));
            ASSERT_EQ(got != nullptr, model.Add(pos, rec));
            if (got != nullptr && later) std::memcpy(got, rec.data(), rec.size());
            ASSERT_TRUE(got == nullptr || got == list->current + 1);
        } else if (action < 40) {
            // olm__SetCurIndex gives the element itself, olm_GetObject its record.
            const int32_t pos = position();
            if (pick(0, 1) == 0) {
                ASSERT_TRUE(same(olm_GetObject(0, list, pos), model.Get(pos)));
            } else {
                auto* elem = static_cast<OLM_ELEM*>(olm__SetCurIndex(0, list, pos));
                ASSERT_TRUE(same(elem == nullptr ? nullptr : elem + 1, model.Get(pos)));
                ASSERT_TRUE(elem == nullptr || elem == list->current);
            }
        } else if (action < 60) {
            const int32_t pos = position();
            ASSERT_EQ(olm_RemoveObject(0, list, pos), model.Remove(pos));
        } else if (action < 68) {
            ASSERT_TRUE(same(olm_CycleList(0, list), model.Cycle()));
        } else if (action < 72) {
            // The array's records stand in order where the position points.
            const int32_t count = pick(0, 5), pos = position();
            std::vector<Record> array;
            std::string bytes;
            for (int32_t i = 0; i < count; ++i)
                bytes += array.emplace_back(fresh());
            int32_t rc = 0;
            run([&] { return (rc = olm_AddArray(0, list, pos, count, bytes.data())) == 0; },
                count > 0 && pos >= OLM_TAIL && pos <= 1);
            int32_t expected = 0;
            if (count == 0) {
                model.reports.push_back(Text("OLM_INVALIDSIZE", "Invalid size = 0\n"));
                expected = OLM_INVALIDSIZE;
            } else if (!model.Add(pos, array.back())) {
                expected = OLM_INVALIDPOSITION;
            }
            for (int32_t i = count - 2; i >= 0 && expected == 0; --i)
                model.Add(OLM_CURRENT, array[static_cast<std::size_t>(i)]);
            ASSERT_EQ(rc, expected);
        } else if (action < 75) {
            int32_t count = -1;
            void* array = nullptr;
            run([&] { return (array = olm_GetArray(0, list, &count)) != nullptr; });
            ASSERT_EQ(count, model.size());
            std::vector<Record> got;
            for (int32_t i = 0; i < count; ++i)
                got.emplace_back(static_cast<char*>(array) + i * size,
                                 static_cast<std::size_t>(size));
            ASSERT_EQ(got, model.items);
            mvx_Free(0, array);
            if (count != 0) model.cycle = 0;
        } else if (action < 78) {
            OLM_LIST* copy = nullptr;
            run([&] { return (copy = olm_CopyList(0, list)) != nullptr; });
            ASSERT_TRUE(ListIsConsistent(copy));
            ASSERT_EQ(Records(copy), model.items);
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
            const bool real = options != 0;
            const bool copy_two = a == nullptr || (b != nullptr && a->empty() && !real);
            const bool copy_one = !copy_two && (b == nullptr || (b->empty() && !real));
            const bool tree = !copy_one && !copy_two && operation != 0;
            const std::vector<Record> expected = copy_one   ? *a
                                                 : copy_two ? *b
                                                 : tree     ? SetMerge(*a, *b, operation)
                                                            : std::vector<Record>{};
            OLM_LIST* merged = nullptr;
            run([&] {
                return (merged = olm_MergeList(options, one, two, operation, CompareFirstBytes)) !=
                       nullptr;
            });
            ASSERT_EQ(merged == nullptr, expected.empty() && !copy_one && !copy_two);
            if (first ? copy_one : copy_two || tree) model.cycle = 0;
            if (merged != nullptr) {
                const OLM_LIST* layout = copy_two ? two : one;
                ASSERT_TRUE(ListIsConsistent(merged));
                ASSERT_EQ(Records(merged), expected);
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
        const std::vector<std::string> reports(model.reports.rbegin(), model.reports.rend());
        ASSERT_EQ(mvxtest::StackTexts(), reports); // newest first
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
        const int32_t refused = per_block > 0 ? size : per_block;
        reports.insert(reports.begin(),
                       Text("OLM_INVALIDSIZE", "Invalid size = " + std::to_string(refused) + "\n"));
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
