// A long seeded run of random operations on two lists, compared after every
// step with a std::list model that also tracks the current element, the
// cycle index and the messages each step must report.
#include <iterator>
#include <list>
#include <map>
#include <random>

#include "olm/olm_check.h"

using olmtest::ListIsConsistent;

namespace {

struct Rec {
    int32_t value;  // what merges compare
    int32_t serial; // tells records of equal value apart
    int32_t check;  // ~value ^ serial: catches torn or shifted records
    bool operator==(const Rec&) const = default;
};
static_assert(sizeof(Rec) == 12);

Rec MakeRec(int32_t value, int32_t serial) {
    return {value, serial, ~value ^ serial};
}

int CompareValues(const void* key, const void* object) {
    Rec a, b;
    std::memcpy(&a, key, sizeof a);
    std::memcpy(&b, object, sizeof b);
    return (a.value > b.value) - (a.value < b.value);
}

std::vector<Rec> Records(const OLM_LIST* list) {
    std::vector<Rec> out;
    for (const OLM_ELEM* elem = list->head; elem != nullptr; elem = elem->next) {
        Rec rec;
        std::memcpy(&rec, olmtest::RecordOf(elem), sizeof rec);
        out.push_back(rec);
    }
    return out;
}

int32_t CurrentIndex(const OLM_LIST* list) {
    int32_t i = 0;
    for (const OLM_ELEM* elem = list->head; elem != nullptr; elem = elem->next, ++i) {
        if (elem == list->current) return i;
    }
    return -1;
}

// The reference list: records in order, the current one (end() when none),
// the cycle index, and the reports expected from the step, oldest first.
struct Model {
    using It = std::list<Rec>::iterator;
    std::list<Rec> items;
    It cur = items.end();
    int32_t cycle = 0;
    std::vector<olmtest::Report> reports;

    int32_t size() const { return static_cast<int32_t>(items.size()); }
    It Nth(int32_t n) { return std::next(items.begin(), n - 1); }
    bool Fail(int32_t position) {
        reports.push_back(olmtest::Position(position));
        return false;
    }

    bool Add(int32_t position, const Rec& rec) {
        It where; // the new record goes in front of it
        if (position < OLM_TAIL) return Fail(position);
        if (position == OLM_HEAD || position == 1) {
            where = items.begin();
        } else if (position == OLM_TAIL) {
            where = items.end();
        } else if (position == OLM_CURRENT) {
            where = cur;
        } else if (position - 1 <= size()) {
            where = std::next(Nth(position - 1));
        } else {
            Fail(position - 1);
            if (size() != 0) return Fail(position);
            where = items.begin();
        }
        cur = items.insert(where, rec);
        return true;
    }
    It Get(int32_t position) {
        if (position == OLM_HEAD || position == OLM_TAIL) {
            if (size() != 0) cur = position == OLM_HEAD ? items.begin() : std::prev(items.end());
            return cur;
        }
        if (position == OLM_CURRENT) return cur;
        if (position < OLM_TAIL || position > size()) return Fail(position), items.end();
        cycle = 0;
        return cur = Nth(position);
    }
    int32_t Remove(int32_t position) {
        It gone = position == OLM_HEAD      ? items.begin()
                  : position == OLM_TAIL    ? (size() != 0 ? std::prev(items.end()) : items.end())
                  : position == OLM_CURRENT ? cur
                  : position >= 1 && position <= size() ? Nth(position)
                                                        : items.end();
        if (gone == items.end()) return Fail(position), OLM_INVALIDPOSITION;
        if (cur == gone) {
            cur = std::next(gone) != items.end() ? std::next(gone)
                  : gone != items.begin()        ? std::prev(gone)
                                                 : items.end();
        }
        items.erase(gone);
        cycle = 0;
        return 0;
    }
    It Cycle() {
        if (++cycle > size()) return cycle = 0, items.end();
        if (cycle == 1) return cur = items.begin();
        if (cur == items.end() || std::next(cur) == items.end()) {
            reports.push_back({"OLM_NULLPOINTER", "NULL pointer\n"});
            return cycle = 0, items.end();
        }
        return ++cur;
    }
    void Adopt(const std::vector<Rec>& records) {
        items.assign(records.begin(), records.end());
        cur = items.empty() ? items.end() : std::prev(items.end());
        cycle = 0;
    }
};

// How olm_MergeList treats its operands: no result, a copy of one of them,
// or the set operation through a tree.
enum class Path { None, CopyOne, CopyTwo, Tree };

Path MergePath(const std::vector<Rec>* one, const std::vector<Rec>* two, uint32_t options,
               uint8_t operation) {
    const bool empty_is_operand = (options & 3) != 0;
    if (one == nullptr) return two == nullptr ? Path::None : Path::CopyTwo;
    if (two == nullptr) return Path::CopyOne;
    if (one->empty() && !empty_is_operand) return Path::CopyTwo;
    if (two->empty() && !empty_is_operand) return Path::CopyOne;
    return operation >= 1 && operation <= 3 ? Path::Tree : Path::None;
}

// The set operation on values; of equal records the first one of a list
// counts, and list one's record wins where both lists hold the value.
std::vector<Rec> SetMerge(const std::vector<Rec>& one, const std::vector<Rec>& two,
                          uint8_t operation) {
    std::map<int32_t, Rec> a, b, out;
    for (const Rec& r : one)
        a.emplace(r.value, r);
    for (const Rec& r : two)
        b.emplace(r.value, r);
    if (operation == OTM_UNION) {
        out = a;
        out.insert(b.begin(), b.end());
    } else {
        for (auto& [value, rec] : b) {
            if ((a.count(value) != 0) == (operation == OTM_INTERSECT)) out.emplace(value, rec);
        }
        if (operation == OTM_SYMDIFF) {
            for (auto& [value, rec] : a) {
                if (b.count(value) == 0) out.emplace(value, rec);
            }
        }
    }
    std::vector<Rec> result;
    for (auto& [value, rec] : out)
        result.push_back(rec);
    return result;
}

} // namespace

TEST_F(ObjectList, RandomOperationsMatchReferenceList) {
    std::mt19937 rng(20240611);
    auto pick = [&](int32_t lo, int32_t hi) {
        return std::uniform_int_distribution<int32_t>(lo, hi)(rng);
    };
    int32_t serial = 0;
    auto fresh = [&] { return MakeRec(pick(0, 39), ++serial); };

    OLM_LIST* list = olm_CreateList(0, sizeof(Rec), 7, 0x1111);
    OLM_LIST* other = olm_CreateList(0, sizeof(Rec), 3, 0x2222);
    Model model;
    std::vector<Rec> others; // never cycled: its cycle index stays 0

    auto position = [&] {
        const int32_t r = pick(0, 9);
        return r < 3   ? OLM_HEAD
               : r < 5 ? OLM_TAIL
               : r < 7 ? OLM_CURRENT
                       : pick(-4, model.size() + 3);
    };
    auto same = [&](const void* got, Model::It want) {
        if (want == model.items.end()) return got == nullptr;
        Rec rec;
        if (got == nullptr) return false;
        std::memcpy(&rec, got, sizeof rec);
        return rec == *want;
    };

    for (int step = 0; step < 20000; ++step) {
        int action = pick(0, 99);
        if (model.size() > 120 && action < 30) action += 38; // keep the list short
        if (action < 30) {
            const Rec rec = fresh();
            const int32_t pos = position();
            const bool fill_later = pick(0, 4) == 0;
            void* got = olm_AddObject(0, list, pos, fill_later ? nullptr : &rec);
            ASSERT_EQ(got != nullptr, model.Add(pos, rec)) << step;
            if (got != nullptr) {
                if (fill_later) std::memcpy(got, &rec, sizeof rec);
                ASSERT_EQ(got, olmtest::RecordOf(list->current)) << step;
            }
        } else if (action < 40) {
            const int32_t pos = position();
            ASSERT_TRUE(same(olm_GetObject(0, list, pos), model.Get(pos))) << step;
        } else if (action < 60) {
            const int32_t pos = position();
            ASSERT_EQ(olm_RemoveObject(0, list, pos), model.Remove(pos)) << step;
        } else if (action < 68) {
            ASSERT_TRUE(same(olm_CycleList(0, list), model.Cycle())) << step;
        } else if (action < 72) {
            Rec array[5];
            const int32_t count = pick(0, 5), pos = position();
            for (int32_t i = 0; i < count; ++i)
                array[i] = fresh();
            int32_t expected = 0;
            if (count == 0) {
                model.reports.push_back({"OLM_INVALIDSIZE", "Invalid size = 0\n"});
                expected = OLM_INVALIDSIZE;
            } else if (!model.Add(pos, array[count - 1])) {
                expected = OLM_INVALIDPOSITION;
            } else {
                for (int32_t i = count - 2; i >= 0; --i)
                    model.Add(OLM_CURRENT, array[i]);
            }
            ASSERT_EQ(olm_AddArray(0, list, pos, count, array), expected) << step;
        } else if (action < 75) {
            int32_t count = -1;
            auto* array = static_cast<Rec*>(olm_GetArray(0, list, &count));
            ASSERT_EQ(count, model.size()) << step;
            ASSERT_EQ(
                (array == nullptr ? std::vector<Rec>{} : std::vector<Rec>(array, array + count)),
                std::vector<Rec>(model.items.begin(), model.items.end()));
            mvx_Free(0, array);
            if (count != 0) model.cycle = 0;
        } else if (action < 78) {
            OLM_LIST* copy = olm_CopyList(0, list);
            ASSERT_TRUE(ListIsConsistent(copy)) << step;
            ASSERT_EQ(Records(copy), Records(list)) << step;
            ASSERT_TRUE(copy->user == list->user && copy->per_block == list->per_block);
            ASSERT_EQ(copy->current, copy->tail);
            model.cycle = 0;
            if (pick(0, 1) != 0) {
                std::swap(list, copy);
                model.Adopt(Records(list));
            }
            olm_DeleteList(0, copy);
        } else if (action < 86) {
            // The list under test as operand one or two, against the other
            // list or a null one.
            const int32_t shape = pick(0, 9);
            const uint32_t options = static_cast<uint32_t>(pick(0, 3));
            const int32_t r = pick(0, 12);
            const uint8_t operation = static_cast<uint8_t>(r == 12 ? 0 : 1 + r % 3);
            const bool list_first = shape == 0 || shape >= 6;
            OLM_LIST* partner = shape <= 1 ? nullptr : other;
            OLM_LIST* one = list_first ? list : partner;
            OLM_LIST* two = list_first ? partner : list;
            const std::vector<Rec> mine = Records(list);
            const std::vector<Rec>* one_recs = list_first ? &mine : partner ? &others : nullptr;
            const std::vector<Rec>* two_recs = list_first ? (partner ? &others : nullptr) : &mine;
            const Path path = MergePath(one_recs, two_recs, options, operation);

            OLM_LIST* merged = olm_MergeList(options, one, two, operation, CompareValues);
            std::vector<Rec> expected;
            const OLM_LIST* layout = path == Path::CopyTwo ? two : one;
            if (path == Path::CopyOne) expected = *one_recs;
            if (path == Path::CopyTwo) expected = *two_recs;
            if (path == Path::Tree) expected = SetMerge(*one_recs, *two_recs, operation);
            const bool null_result = path == Path::None || (path == Path::Tree && expected.empty());
            ASSERT_EQ(merged == nullptr, null_result) << step;
            const bool resets_list =
                list_first ? path == Path::CopyOne : path == Path::CopyTwo || path == Path::Tree;
            if (resets_list) model.cycle = 0;
            if (merged != nullptr) {
                ASSERT_TRUE(ListIsConsistent(merged)) << step;
                ASSERT_EQ(Records(merged), expected) << step;
                ASSERT_TRUE(merged->user == layout->user && merged->per_block == layout->per_block);
                if (pick(0, 2) == 0) std::swap(list, merged), model.Adopt(expected);
                olm_DeleteList(0, merged);
            }
        } else if (action < 98) {
            if (others.size() > 25 || pick(0, 9) == 0) {
                ASSERT_EQ(olm_RemoveAll(0, other), 0);
                others.clear();
            } else {
                const Rec rec = fresh();
                olm_AddObject(0, other, OLM_TAIL, &rec);
                others.push_back(rec);
            }
        } else {
            ASSERT_EQ(olm_RemoveAll(0, list), 0);
            model.Adopt({});
        }

        ASSERT_TRUE(ListIsConsistent(list)) << step;
        ASSERT_TRUE(ListIsConsistent(other)) << step;
        ASSERT_EQ(Records(list), std::vector<Rec>(model.items.begin(), model.items.end())) << step;
        ASSERT_EQ(CurrentIndex(list), model.cur == model.items.end()
                                          ? -1
                                          : std::distance(model.items.begin(), model.cur))
            << step;
        ASSERT_EQ(list->cycle, model.cycle) << step;
        ASSERT_EQ(Records(other), others) << step;
        ASSERT_EQ(other->cycle, 0) << step;
        ASSERT_TRUE(olmtest::TakeReports(model.reports)) << step;
        model.reports.clear();
    }
    olm_DeleteList(0, list);
    olm_DeleteList(0, other);
}
