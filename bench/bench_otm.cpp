// Object tree against its anchors: glibc's tsearch family and std::set<int>.
//
// Each contender inserts, finds or removes the same 1,000,000 pseudo-random
// 32-bit keys, in the same order. The keys are made once, before any timing;
// building the tree that a find or remove needs, and tearing it down, happen
// with the timer paused. The object tree stores copies of the keys (its
// default), tsearch stores pointers to them, std::set stores the values.
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <search.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <set>
#include <unordered_set>
#include <vector>

#include "mvx/otm.h"

namespace {

constexpr std::size_t kKeys = 1000000;

const std::vector<int32_t>& Keys() {
    // Distinct keys, so that every insert adds and every remove finds.
    static const std::vector<int32_t> keys = [] {
        std::mt19937 random(20240611);
        std::unordered_set<int32_t> seen;
        std::vector<int32_t> made;
        made.reserve(kKeys);
        while (made.size() < kKeys) {
            const auto key = static_cast<int32_t>(random());
            if (seen.insert(key).second) made.push_back(key);
        }
        return made;
    }();
    return keys;
}

// Every tree is built on a coalesced heap, so that no contender inherits
// the scattered free lists of the one before it: glibc hands freed small
// chunks out again in the order they were freed, which otherwise decides
// more of the time than the tree does. The process keeps the memory it
// freed (no trimming), so no contender pays for faulting pages back in
// that another one released.
void FreshHeap() {
    static const bool kept = [] {
        mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max());
        mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
        return true;
    }();
    benchmark::DoNotOptimize(kept);
    // A request too large for the small bins makes malloc coalesce every
    // free small chunk first.
    void* large = std::malloc(64 * 1024);
    benchmark::DoNotOptimize(large);
    std::free(large);
}

// One compare function for both C trees.
int CompareInt(const void* key, const void* object) {
    const int32_t a = *static_cast<const int32_t*>(key);
    const int32_t b = *static_cast<const int32_t*>(object);
    return (a > b) - (a < b);
}

// ------------------------------------------------------------------- otm

OTM_TREE* BuildOtm() {
    OTM_TREE* tree = otm_CreateTree(0, sizeof(int32_t), CompareInt, 0);
    for (int32_t key : Keys())
        otm_AddObject(0, tree, &key);
    return tree;
}

void BM_TreeInsert_otm(benchmark::State& state) {
    const auto& keys = Keys();
    FreshHeap();
    for (auto _ : state) {
        OTM_TREE* tree = otm_CreateTree(0, sizeof(int32_t), CompareInt, 0);
        for (int32_t key : keys)
            benchmark::DoNotOptimize(otm_AddObject(0, tree, &key));
        state.PauseTiming();
        otm_DeleteTree(0, tree);
        FreshHeap();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kKeys));
}

void BM_TreeFind_otm(benchmark::State& state) {
    const auto& keys = Keys();
    FreshHeap();
    OTM_TREE* tree = BuildOtm();
    for (auto _ : state) {
        for (const int32_t& key : keys)
            benchmark::DoNotOptimize(otm_GetObject(0, tree, &key));
    }
    otm_DeleteTree(0, tree);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kKeys));
}

void BM_TreeRemove_otm(benchmark::State& state) {
    const auto& keys = Keys();
    for (auto _ : state) {
        state.PauseTiming();
        FreshHeap();
        OTM_TREE* tree = BuildOtm();
        state.ResumeTiming();
        for (const int32_t& key : keys)
            benchmark::DoNotOptimize(otm_RemoveObject(0, tree, &key));
        state.PauseTiming();
        otm_DeleteTree(0, tree);
        FreshHeap();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kKeys));
}

// --------------------------------------------------------------- tsearch

void NoFree(void*) {}

void* BuildTsearch() {
    void* root = nullptr;
    for (const int32_t& key : Keys())
        tsearch(&key, &root, CompareInt);
    return root;
}

void BM_TreeInsert_tsearch(benchmark::State& state) {
    const auto& keys = Keys();
    FreshHeap();
    for (auto _ : state) {
        void* root = nullptr;
        for (const int32_t& key : keys)
            benchmark::DoNotOptimize(tsearch(&key, &root, CompareInt));
        state.PauseTiming();
        tdestroy(root, NoFree);
        FreshHeap();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kKeys));
}

void BM_TreeFind_tsearch(benchmark::State& state) {
    const auto& keys = Keys();
    FreshHeap();
    void* root = BuildTsearch();
    for (auto _ : state) {
        for (const int32_t& key : keys)
            benchmark::DoNotOptimize(tfind(&key, &root, CompareInt));
    }
    tdestroy(root, NoFree);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kKeys));
}

void BM_TreeRemove_tsearch(benchmark::State& state) {
    const auto& keys = Keys();
    for (auto _ : state) {
        state.PauseTiming();
        FreshHeap();
        void* root = BuildTsearch();
        state.ResumeTiming();
        for (const int32_t& key : keys)
            benchmark::DoNotOptimize(tdelete(&key, &root, CompareInt));
        state.PauseTiming();
        tdestroy(root, NoFree);
        FreshHeap();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kKeys));
}

// -------------------------------------------------------------- std::set

void BM_TreeInsert_stdset(benchmark::State& state) {
    const auto& keys = Keys();
    FreshHeap();
    for (auto _ : state) {
        auto* set = new std::set<int32_t>;
        for (int32_t key : keys)
            benchmark::DoNotOptimize(set->insert(key));
        state.PauseTiming();
        delete set;
        FreshHeap();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kKeys));
}

void BM_TreeFind_stdset(benchmark::State& state) {
    const auto& keys = Keys();
    FreshHeap();
    const std::set<int32_t> set(keys.begin(), keys.end());
    for (auto _ : state) {
        for (int32_t key : keys)
            benchmark::DoNotOptimize(set.find(key));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kKeys));
}

void BM_TreeRemove_stdset(benchmark::State& state) {
    const auto& keys = Keys();
    for (auto _ : state) {
        state.PauseTiming();
        FreshHeap();
        std::set<int32_t> set(keys.begin(), keys.end());
        state.ResumeTiming();
        for (int32_t key : keys)
            benchmark::DoNotOptimize(set.erase(key));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kKeys));
}

} // namespace

// Goals: insert no slower than tsearch and within 1.5x of std::set; finding
// and removing no slower than tsearch.
// goal: BM_TreeInsert_otm / BM_TreeInsert_tsearch <= 1.0
// goal: BM_TreeInsert_otm / BM_TreeInsert_stdset <= 1.5
// goal: BM_TreeFind_otm / BM_TreeFind_tsearch <= 1.0
// goal: BM_TreeRemove_otm / BM_TreeRemove_tsearch <= 1.0
BENCHMARK(BM_TreeInsert_otm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TreeInsert_tsearch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TreeInsert_stdset)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TreeFind_otm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TreeFind_tsearch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TreeFind_stdset)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TreeRemove_otm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TreeRemove_tsearch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TreeRemove_stdset)->Unit(benchmark::kMillisecond);
