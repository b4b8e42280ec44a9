// Object list against std::list, in one run: adding and then removing a batch
// of 32-byte records at the head, at the tail and at the current position of
// a list that already holds some records.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <list>

#include "libmvx.h"

namespace {

struct Record {
    int64_t key;
    int64_t payload[3];
};
static_assert(sizeof(Record) == 32);

constexpr int kPrefill = 1000; // records in the list before the timed loop
constexpr int kBatch = 256;    // records added, then removed, per iteration

// olm: every add and remove goes through the position argument, as callers
// use it. At position 0 a new record goes in front of the current one and
// becomes current; removing at 0 makes the successor current again, so a
// batch of adds and removes leaves the list as it found it.
void OlmAddRemove(benchmark::State& state, int32_t position) {
    OLM_LIST* list = olm_CreateList(0, sizeof(Record), 64, 0);
    Record record{};
    for (int i = 0; i < kPrefill; ++i)
        olm_AddObject(0, list, OLM_TAIL, &record);
    olm_GetObject(0, list, kPrefill / 2);
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) {
            record.key = i;
            benchmark::DoNotOptimize(olm_AddObject(0, list, position, &record));
        }
        for (int i = 0; i < kBatch; ++i)
            benchmark::DoNotOptimize(olm_RemoveObject(0, list, position));
    }
    if (list->count != kPrefill) state.SkipWithError("list changed size");
    state.SetItemsProcessed(state.iterations() * kBatch * 2);
    olm_DeleteList(0, list);
}

enum class Where { Head, Tail, Current };

// std::list doing the same: push/pop at the ends, insert/erase at an
// iterator that plays the current element.
void StdListAddRemove(benchmark::State& state, Where where) {
    std::list<Record> list(kPrefill);
    auto current = std::next(list.begin(), kPrefill / 2 - 1);
    Record record{};
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) {
            record.key = i;
            switch (where) {
            case Where::Head:
                list.push_front(record);
                break;
            case Where::Tail:
                list.push_back(record);
                break;
            case Where::Current:
                current = list.insert(current, record);
                break;
            }
            benchmark::DoNotOptimize(&list.back());
        }
        for (int i = 0; i < kBatch; ++i) {
            switch (where) {
            case Where::Head:
                list.pop_front();
                break;
            case Where::Tail:
                list.pop_back();
                break;
            case Where::Current:
                current = list.erase(current);
                break;
            }
            benchmark::ClobberMemory();
        }
    }
    if (list.size() != kPrefill) state.SkipWithError("list changed size");
    state.SetItemsProcessed(state.iterations() * kBatch * 2);
}

void BM_ListHead_olm(benchmark::State& state) {
    OlmAddRemove(state, OLM_HEAD);
}
void BM_ListHead_stdlist(benchmark::State& state) {
    StdListAddRemove(state, Where::Head);
}
void BM_ListTail_olm(benchmark::State& state) {
    OlmAddRemove(state, OLM_TAIL);
}
void BM_ListTail_stdlist(benchmark::State& state) {
    StdListAddRemove(state, Where::Tail);
}
void BM_ListCurrent_olm(benchmark::State& state) {
    OlmAddRemove(state, OLM_CURRENT);
}
void BM_ListCurrent_stdlist(benchmark::State& state) {
    StdListAddRemove(state, Where::Current);
}

// goal: BM_ListHead_olm / BM_ListHead_stdlist <= 1.0
// goal: BM_ListTail_olm / BM_ListTail_stdlist <= 1.0
// goal: BM_ListCurrent_olm / BM_ListCurrent_stdlist <= 1.0
BENCHMARK(BM_ListHead_olm);
BENCHMARK(BM_ListHead_stdlist);
BENCHMARK(BM_ListTail_olm);
BENCHMARK(BM_ListTail_stdlist);
BENCHMARK(BM_ListCurrent_olm);
BENCHMARK(BM_ListCurrent_stdlist);

} // namespace
