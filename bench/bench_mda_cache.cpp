// Locking, the entity cache and swapping, each against an anchor.
//
// LockUnlockCached: lock and unlock of an entity that waits in the cache,
// against the same bookkeeping done with the standard containers (a hash
// map find and a list splice: a minimal LRU touch).
//
// SpillAndReload: 2,000 entities of 1,000 bytes (a 512-byte body block and
// a 2 x 2 x 11 array of doubles) in a 32-slot cache; each step locks a
// random entity (read back from the paged file), changes it and unlocks it
// with the cache full (the least recent one is written). Anchor: one 4 KiB
// pwrite, one 4 KiB pread and a memcpy of the same bytes on a temporary
// file.
//
// Million: 1,000,000 entities with 64-byte bodies created, unlocked (most
// go to disk) and locked and unlocked again in random order, with a 32-slot
// cache. Reported: entities per second over both passes, and the heap
// memory per entity at the end of the second pass, when the model holds
// all it ever holds (bytes in use by malloc, mallinfo2, less those before:
// unlike the resident size, this does not depend on memory that earlier
// benchmarks freed and the allocator kept). Anchor: the same
// number of 64-byte malloc'ed records created and then read in the same
// random order.
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <list>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "libmvx.h"
#include "bench_session.h"
#include "mda/mda_int.h"

namespace {

using mvxbench::Session;

void BM_LockUnlockCached_mda(benchmark::State& state) {
    Session session(256);
    const int32_t model = session.NewModel();
    std::vector<MDA_PTR> p(16);
    void* body = nullptr;
    for (MDA_PTR& x : p) {
        x = session.NewEntity(model, &body);
        mda_UnlockEntity(MDA_UNLOCK_MODIFIED, x);
    }
    size_t i = 0;
    for (auto _ : state) {
        const MDA_PTR x = p[i++ & 15];
        mda_LockEntity(0, x, &body);
        benchmark::DoNotOptimize(body);
        mda_UnlockEntity(0, x);
    }
    state.SetItemsProcessed(state.iterations());
}
// Paired with their anchors in the closing table of `make bench`, no goal set:
// anchor: BM_LockUnlockCached_mda / BM_LockUnlockCached_stdLRU
// anchor: BM_SpillAndReload_mda / BM_SpillAndReload_pwrite_pread_memcpy
// anchor: BM_Million_mda / BM_Million_malloc
BENCHMARK(BM_LockUnlockCached_mda);

void BM_LockUnlockCached_stdLRU(benchmark::State& state) {
    std::list<uint64_t> order;
    std::unordered_map<uint64_t, std::list<uint64_t>::iterator> where;
    for (uint64_t k = 1; k <= 16; ++k)
        where[k] = order.insert(order.end(), k);
    size_t i = 0;
    for (auto _ : state) {
        const uint64_t k = (i++ & 15) + 1;
        auto it = where.find(k);
        order.splice(order.end(), order, it->second);
        benchmark::DoNotOptimize(it);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LockUnlockCached_stdLRU);

void BM_SpillAndReload_mda(benchmark::State& state) {
    constexpr int kEntities = 2000;
    Session session(472);
    const int32_t model = session.NewModel();
    std::vector<MDA_PTR> p;
    void* body = nullptr;
    for (int i = 0; i < kEntities; ++i) {
        p.push_back(session.NewEntity(model, &body));
        void** slot = static_cast<void**>(body) + 3;
        mda_MallocArray(0, body, sizeof(double), slot, 3, 2, 2, 11);
        mda_UnlockEntity(MDA_UNLOCK_MODIFIED, p.back());
    }
    std::mt19937 rng(1);
    const DOF_FILE* file = mda__Model[model].dof;
    const uint32_t reads = file->physical_reads, writes = file->physical_writes;
    for (auto _ : state) {
        const MDA_PTR x = p[rng() % kEntities];
        mda_LockEntity(0, x, &body);
        ++static_cast<uint8_t*>(body)[400];
        mda_UnlockEntity(MDA_UNLOCK_MODIFIED, x);
    }
    state.SetItemsProcessed(state.iterations());
    // Page transfers of the paged file per step (each a system call or two).
    const double steps = static_cast<double>(state.iterations());
    state.counters["page_reads/step"] = (file->physical_reads - reads) / steps;
    state.counters["page_writes/step"] = (file->physical_writes - writes) / steps;
}
BENCHMARK(BM_SpillAndReload_mda);

void BM_SpillAndReload_pwrite_pread_memcpy(benchmark::State& state) {
    Session session(24);
    const std::string path = session.dir() + "/anchor";
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    std::vector<char> page(4096, 'x'), back(4096), copy(4096);
    std::mt19937 rng(1);
    for (auto _ : state) {
        const off_t at = static_cast<off_t>(rng() % 512) * 4096;
        benchmark::DoNotOptimize(pwrite(fd, page.data(), page.size(), at));
        benchmark::DoNotOptimize(pread(fd, back.data(), back.size(), at));
        std::memcpy(copy.data(), back.data(), back.size());
        benchmark::ClobberMemory();
    }
    close(fd);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SpillAndReload_pwrite_pread_memcpy);

// Bytes the allocator has handed out and not had back, small and mapped.
std::size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

constexpr int kMillion = 1'000'000;

std::vector<int> Shuffled() {
    std::vector<int> order(kMillion);
    for (int i = 0; i < kMillion; ++i)
        order[static_cast<size_t>(i)] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(3));
    return order;
}

void BM_Million_mda(benchmark::State& state) {
    const std::vector<int> order = Shuffled();
    double per_entity = 0;
    for (auto _ : state) {
        Session session(64);
        const std::size_t before = HeapInUse();
        const int32_t model = session.NewModel();
        void* body = nullptr;
        for (int i = 0; i < kMillion; ++i) {
            const MDA_PTR x = session.NewEntity(model, &body);
            static_cast<uint8_t*>(body)[30] = static_cast<uint8_t>(i);
            mda_UnlockEntity(MDA_UNLOCK_MODIFIED, x);
        }
        for (const int i : order) {
            const MDA_PTR x = MDA_MAKE_PTR(model, i + 1);
            mda_LockEntity(0, x, &body);
            benchmark::DoNotOptimize(static_cast<uint8_t*>(body)[30]);
            mda_UnlockEntity(0, x);
        }
        per_entity = (static_cast<double>(HeapInUse()) - static_cast<double>(before)) / kMillion;
    }
    state.counters["entities/s"] =
        benchmark::Counter(kMillion, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["heap_bytes/entity"] = per_entity;
}
BENCHMARK(BM_Million_mda)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_Million_malloc(benchmark::State& state) {
    const std::vector<int> order = Shuffled();
    double per_entity = 0;
    for (auto _ : state) {
        const std::size_t before = HeapInUse();
        std::vector<uint8_t*> records(kMillion);
        for (int i = 0; i < kMillion; ++i) {
            records[static_cast<size_t>(i)] = static_cast<uint8_t*>(std::calloc(1, 64));
            records[static_cast<size_t>(i)][30] = static_cast<uint8_t>(i);
        }
        for (const int i : order)
            benchmark::DoNotOptimize(records[static_cast<size_t>(i)][30]);
        per_entity = (static_cast<double>(HeapInUse()) - static_cast<double>(before)) / kMillion;
        for (uint8_t* r : records)
            std::free(r);
    }
    state.counters["entities/s"] =
        benchmark::Counter(kMillion, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["heap_bytes/entity"] = per_entity;
}
BENCHMARK(BM_Million_malloc)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
