// Parent lists at scale: a model of a million entities that each refer to
// three earlier ones, built with back-pointers on, then parent look-ups of
// random entities. Reports entities and look-ups per second and the heap
// the model takes per entity (bodies, directory and parent lists).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "bench_session.h"

namespace {

constexpr int64_t kEntities = 1000000;
constexpr uint16_t kBody = sizeof(MDA_ENTITY_HDR) + 3 * sizeof(MDA_PTR);

// Builds the model; returns the db_ptr of entity number n at [n - 1].
std::vector<MDA_PTR> Build(mvxbench::Session& session, int32_t model) {
    std::vector<MDA_PTR> made;
    made.reserve(kEntities);
    std::mt19937_64 rng(7);
    for (int64_t i = 0; i < kEntities; ++i) {
        void* body = nullptr;
        const MDA_PTR p = session.NewEntity(model, &body);
        auto* fields =
            reinterpret_cast<MDA_PTR*>(static_cast<char*>(body) + sizeof(MDA_ENTITY_HDR));
        for (int k = 0; k < 3 && !made.empty(); ++k)
            mda_AddPtr(p, made[rng() % made.size()], &fields[k]);
        mda_UnlockEntity(MDA_UNLOCK_MODIFIED, p);
        made.push_back(p);
    }
    return made;
}

void BM_BuildWithBackPtrs(benchmark::State& state) {
    for (auto _ : state) {
        mvxbench::Session session(kBody);
        const size_t before = mallinfo2().uordblks;
        const int32_t model = session.NewModel(MDA_MEMORY_ONLY, 1);
        const std::vector<MDA_PTR> made = Build(session, model);
        const size_t after = mallinfo2().uordblks;
        state.counters["bytes_per_entity"] =
            static_cast<double>(after - before - made.capacity() * sizeof(MDA_PTR)) / kEntities;
        state.counters["entities_per_s"] =
            benchmark::Counter(static_cast<double>(kEntities), benchmark::Counter::kIsRate);
    }
}
BENCHMARK(BM_BuildWithBackPtrs)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_GetParents(benchmark::State& state) {
    mvxbench::Session session(kBody);
    const int32_t model = session.NewModel(MDA_MEMORY_ONLY, 1);
    const std::vector<MDA_PTR> made = Build(session, model);
    std::mt19937_64 rng(11);
    int64_t found = 0;
    for (auto _ : state) {
        int32_t count = 0;
        MDA_PTR* parents = nullptr;
        mda_GetParents(0, made[rng() % made.size()], &count, &parents);
        found += count;
        std::free(parents);
    }
    benchmark::DoNotOptimize(found);
    state.counters["lookups_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_GetParents);

} // namespace
