// Deep copy and deep deletion of a 100,000-entity graph against building
// the same graph, in the same run.
//
// The graph is a complete three-way tree (node k refers to 3k+1, 3k+2 and
// 3k+3) of entities with three pointer fields, in a memory-only model that
// keeps parent lists. BM_BuildGraph makes it (entities, then references
// through mda_AddPtr), BM_DeepCopy copies it from the root into a second
// model, BM_DeepDelete deletes it from the root. Each reports
// entities_per_s; the copy's goal is at most about twice the build's cost.
//
// What each timing holds, so that the pair compares like with like: the
// build and the copy each allocate the model they fill (the built one, the
// target) and fill it with the same 100,000 entities and 99,999
// references; freeing it is not timed. The copy's source is built once,
// untimed, and a copy leaves it as it was (nothing locked, no body moved),
// so every iteration copies the same state.
//
// Each iteration frees a model of 100,000 entities. The process keeps the
// memory it frees (no trimming, no separate mappings for big blocks), so
// that the next iteration does not fault pages back in: without that the
// kernel's page faults, not the library, decide most of every figure.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <climits>
#include <cstdlib>
#include <vector>

#include "bench_dict.h"

namespace {

constexpr int32_t kNodes = 100000;

struct Node {
    MDA_ENTITY_HDR hdr;
    int32_t id;
    int32_t pad;
    MDA_PTR child[3];
};

class Session {
public:
    Session()
        : dict_("dictionary bench;\nentity 1:0 node { int id; int pad; ptr a; ptr b; ptr c; }\n") {
        if (dict_.get()->ent_sizes[0] != sizeof(Node)) std::abort();
        mallopt(M_TRIM_THRESHOLD, INT_MAX);
        mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    }
    int32_t NewModel() { return dict_.NewModel(MDA_MEMORY_ONLY, 1); }
    void FreeModel(int32_t model) { dict_.FreeModel(model); }
    // Builds the tree; returns the root.
    MDA_PTR Build(int32_t model) {
        std::vector<MDA_PTR> nodes(kNodes);
        for (int32_t k = 0; k < kNodes; ++k)
            if (mda_AllocateEntity2(MDA_ENTITY_UNLOCKED, model, MVX_TF(1, 0), nullptr, &nodes[k]) !=
                0)
                std::abort();
        for (int32_t k = 0; 3 * k + 1 < kNodes; ++k) {
            Node* body = nullptr;
            mda_LockEntity(0, nodes[k], reinterpret_cast<void**>(&body));
            body->id = k;
            for (int32_t c = 0; c < 3 && 3 * k + 1 + c < kNodes; ++c)
                mda_AddPtr(nodes[k], nodes[3 * k + 1 + c], &body->child[c]);
            mda_UnlockEntity(MDA_UNLOCK_MODIFIED, nodes[k]);
        }
        return nodes[0];
    }

private:
    mvxbench::CompiledDict dict_;
};

void Report(benchmark::State& state) {
    state.counters["entities_per_s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kNodes, benchmark::Counter::kIsRate);
}

void BM_BuildGraph(benchmark::State& state) {
    Session session;
    for (auto _ : state) {
        const int32_t model = session.NewModel();
        session.Build(model);
        state.PauseTiming();
        session.FreeModel(model);
        state.ResumeTiming();
    }
    Report(state);
}
BENCHMARK(BM_BuildGraph)->Unit(benchmark::kMillisecond);

void BM_DeepCopy(benchmark::State& state) {
    Session session;
    const int32_t source = session.NewModel();
    const MDA_PTR root = session.Build(source);
    for (auto _ : state) {
        const int32_t target = session.NewModel();
        void* body = nullptr;
        void* copy = nullptr;
        mda_LockEntity(0, root, &body);
        if (mda_CopyEntity2(MDA_COPY_ENTER, target, nullptr, body, &copy) != 0) std::abort();
        mda_UnlockEntity(0, static_cast<MDA_ENTITY_HDR*>(copy)->own);
        mda_UnlockEntity(0, root);
        state.PauseTiming();
        session.FreeModel(target);
        state.ResumeTiming();
    }
    Report(state);
}
// goal: BM_DeepCopy / BM_BuildGraph <= 2.0
BENCHMARK(BM_DeepCopy)->Unit(benchmark::kMillisecond);

void BM_DeepDelete(benchmark::State& state) {
    Session session;
    for (auto _ : state) {
        state.PauseTiming();
        const int32_t model = session.NewModel();
        const MDA_PTR root = session.Build(model);
        state.ResumeTiming();
        if (mda_DeepDeleteEntity(0, root) != 0) std::abort();
        state.PauseTiming();
        session.FreeModel(model);
        state.ResumeTiming();
    }
    Report(state);
}
// Paired with their anchors in the closing table of `make bench`, no goal set:
// anchor: BM_DeepDelete / BM_BuildGraph
BENCHMARK(BM_DeepDelete)->Unit(benchmark::kMillisecond);

} // namespace
