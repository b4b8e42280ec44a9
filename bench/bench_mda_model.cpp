// Entity numbering and directory look-ups against plain arrays.
//
// Reserve: 10,000,000 entity numbers reserved one by one in a memory-only
// model (plain directory), against push_back of a 24-byte record onto a
// std::vector. Reported: entries per second and bytes of heap per entry
// (mallinfo2's in-use bytes after minus before, divided by the count).
//
// Lookup: random mda__GetEntDir calls over 1,000,000 reserved entries
// (1,000,000 calls in the plain directory; 100,000 in a bounded directory
// holding 64 of the 489 blocks in memory, the rest in the overflow file),
// against 1,000,000 random indexings of a std::vector of 24-byte records.
// The same pseudo-random index sequence (or its first tenth) serves all. A bounded look-up that
// misses its block writes one block and reads another (49,176 bytes each), so that case measures
// the overflow file through the page cache, not the disk.
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench_session.h"
#include "mda/mda_int.h"
#include "mvx/mvx.h"
#include "mvx/ugn.h"

namespace {

constexpr int64_t kReserve = 10'000'000;
constexpr int64_t kEntries = 1'000'000;
constexpr int kLookups = 1'000'000;

struct Entry24 {
    void* mloc;
    int64_t dloc;
    int32_t tf;
    int32_t status;
};
static_assert(sizeof(Entry24) == 24);

// Models of 24-byte bodies, memory-only, with a plain (0) or bounded
// directory.
int32_t NewModel(mvxbench::Session& session, int32_t bounded) {
    mda__EntDirBlkSizeMax = bounded;
    return session.NewModel(MDA_MEMORY_ONLY);
}

std::size_t InUse() {
    return mallinfo2().uordblks;
}

void BM_Reserve_mda(benchmark::State& state) {
    double bytes = 0;
    for (auto _ : state) {
        mvxbench::Session session(24);
        const std::size_t before = InUse();
        const int32_t model = NewModel(session, 0);
        MDA_PTR p = 0;
        for (int64_t i = 0; i < kReserve; ++i)
            mda_ReserveEntity2(0, model, &p);
        benchmark::DoNotOptimize(p);
        bytes = static_cast<double>(InUse() - before) / static_cast<double>(kReserve);
    }
    state.counters["entries/s"] = benchmark::Counter(static_cast<double>(kReserve),
                                                     benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bytes/entry"] = bytes;
}

void BM_Reserve_vector(benchmark::State& state) {
    double bytes = 0;
    for (auto _ : state) {
        std::vector<Entry24> v;
        for (int64_t i = 0; i < kReserve; ++i)
            v.push_back({nullptr, 0, MVX_NULL_TF, MDA_RESERVED});
        benchmark::DoNotOptimize(v.data());
        // Counted: the vector's one block (mallinfo2 misses mmapped blocks
        // that glibc has already trimmed from its statistics).
        bytes = static_cast<double>(v.capacity() * sizeof(Entry24)) / static_cast<double>(kReserve);
    }
    state.counters["entries/s"] = benchmark::Counter(static_cast<double>(kReserve),
                                                     benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bytes/entry"] = bytes;
}

std::vector<int64_t> Indices(int count) {
    std::mt19937_64 rng(42);
    std::vector<int64_t> out(static_cast<std::size_t>(count));
    for (int64_t& i : out)
        i = 1 + static_cast<int64_t>(rng() % (kEntries - 1));
    return out;
}

void Lookup(benchmark::State& state, int32_t bounded, int count) {
    mvxbench::Session session(24);
    const int32_t model = NewModel(session, bounded);
    MDA_PTR p = 0;
    for (int64_t i = 1; i < kEntries; ++i)
        mda_ReserveEntity2(0, model, &p);
    const std::vector<int64_t> idx = Indices(count);
    for (auto _ : state) {
        int64_t sum = 0;
        for (int64_t n : idx)
            sum += mda__GetEntDir(model, n)->status;
        benchmark::DoNotOptimize(sum);
    }
    state.counters["lookups/s"] =
        benchmark::Counter(count, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Lookup_mda_plain(benchmark::State& state) {
    Lookup(state, 0, kLookups);
}
// Misses cost two block transfers each: a tenth of the look-ups suffices.
void BM_Lookup_mda_bounded64(benchmark::State& state) {
    Lookup(state, 64, kLookups / 10);
}

void BM_Lookup_vector(benchmark::State& state) {
    std::vector<Entry24> v(kEntries, Entry24{nullptr, 0, MVX_NULL_TF, MDA_RESERVED});
    const std::vector<int64_t> idx = Indices(kLookups);
    for (auto _ : state) {
        int64_t sum = 0;
        for (int64_t n : idx)
            sum += v[static_cast<std::size_t>(n)].status;
        benchmark::DoNotOptimize(sum);
    }
    state.counters["lookups/s"] =
        benchmark::Counter(kLookups, benchmark::Counter::kIsIterationInvariantRate);
}

} // namespace

// Paired with their anchors in the closing table of `make bench`, no goal set:
// anchor: BM_Reserve_mda / BM_Reserve_vector
// anchor: BM_Lookup_mda_plain / BM_Lookup_vector
// anchor: BM_Lookup_mda_bounded64 / BM_Lookup_vector
BENCHMARK(BM_Reserve_mda)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Reserve_vector)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Lookup_mda_plain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lookup_mda_bounded64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lookup_vector)->Unit(benchmark::kMillisecond);
