// Entity memory blocks against malloc/free, in one run: a batch of small
// blocks (16 to 256 bytes) is allocated into the pointer fields of one
// entity body and then freed, newest first, as a field walk that frees an
// entity's arrays would; malloc/free do the same with the same sizes.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "libmvx.h"

namespace {

constexpr int kBatch = 64;

int32_t SizeOf(int i) {
    return 16 + (i * 37) % 241;
} // 16 .. 256 bytes

void MdaMallocFree(benchmark::State& state) {
    mvx_Initialize(0);
    struct Body {
        MDA_ENTITY_HDR header;
        void* field[kBatch];
    }* body = nullptr;
    mda_Malloc(0, nullptr, sizeof(Body), reinterpret_cast<void**>(&body));
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i)
            mda_Malloc(0, body, SizeOf(i), &body->field[i]);
        for (int i = kBatch - 1; i >= 0; --i)
            mda_Free(0, body, body->field[i]);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBatch * 2);
    mda_Free(0, nullptr, body);
    mvx_Terminate(0);
}
// goal: MdaMallocFree / LibcMallocFree <= 1.5
BENCHMARK(MdaMallocFree);

void LibcMallocFree(benchmark::State& state) {
    void* field[kBatch];
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) {
            field[i] = std::calloc(1, static_cast<size_t>(SizeOf(i)));
            benchmark::DoNotOptimize(field[i]);
        }
        for (int i = kBatch - 1; i >= 0; --i)
            std::free(field[i]);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kBatch * 2);
}
BENCHMARK(LibcMallocFree);

} // namespace
