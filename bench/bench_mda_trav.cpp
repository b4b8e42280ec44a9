// The field walk against a hand-written loop over the same fields.
//
// One entity of a type with 78 descriptors (a count, 30 ints, 30 doubles,
// four inline double[3], two dynamic double[n] arrays with n = 8, an inline
// array of four {double x, y} structs, ten shorts), compiled from source and
// walked in mode 0: 94 field events per walk. The anchor is a loop written
// for the C struct of the same body that calls the same visitor, through
// the same function pointer, for the same 94 events. Reported: nanoseconds
// per event (ns_per_event) of each, so their ratio is the cost of the walk.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "bench_dict.h"

namespace {

struct Wide {
    MDA_ENTITY_HDR hdr;
    MDA_COUNT n;
    int32_t i[30];
    double d[30];
    double v[4][3];
    double* p[2];
    struct {
        double x, y;
    } pts[4];
    int16_t s[10];
};

std::string Source() {
    std::string s = "dictionary bench;\nentity 1:0 wide {\n count n;\n";
    for (int k = 0; k < 30; ++k)
        s += " int i" + std::to_string(k) + ";\n";
    for (int k = 0; k < 30; ++k)
        s += " double d" + std::to_string(k) + ";\n";
    for (int k = 0; k < 4; ++k)
        s += " double v" + std::to_string(k) + "[3];\n";
    s += " double p0[n];\n double p1[n];\n struct pts[4] { double x; double y; }\n";
    for (int k = 0; k < 10; ++k)
        s += " short s" + std::to_string(k) + ";\n";
    return s + "}\n";
}

int64_t g_sink = 0;
__attribute__((noinline)) int32_t Visit(void*, int32_t count, int32_t type, void* address,
                                        DDF_FIELD*) {
    g_sink += count + type + (address != nullptr);
    return 0;
}
MDA_FIELD_VISITOR volatile g_visit = Visit;

// The library with a model on the compiled dictionary and one entity.
class Session {
public:
    Session() : dict_(Source()) {
        void* raw = nullptr;
        MDA_PTR p = 0;
        const int32_t model = dict_.NewModel(MDA_MEMORY_ONLY, 0);
        if (mda_AllocateEntity2(0, model, MVX_TF(1, 0), &raw, &p) != 0 ||
            dict_.get()->ent_sizes[0] != sizeof(Wide))
            std::abort();
        body_ = static_cast<Wide*>(raw);
        body_->n = 8;
        if (mda_TraverseEntity(MDA_TRAV_ALLOCATE, raw, Visit) != 0) std::abort();
    }
    Wide* body() const { return body_; }

private:
    mvxbench::CompiledDict dict_;
    Wide* body_ = nullptr;
};

constexpr int kEvents = 94;

void ReportPerEvent(benchmark::State& state) {
    state.counters["ns_per_event"] = benchmark::Counter(
        static_cast<double>(kEvents),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_TraverseEntityMode0(benchmark::State& state) {
    Session session;
    Wide* w = session.body();
    for (auto _ : state)
        benchmark::DoNotOptimize(mda_TraverseEntity(0, w, g_visit));
    ReportPerEvent(state);
}
// Paired with their anchors in the closing table of `make bench`, no goal set:
// anchor: BM_TraverseEntityMode0 / BM_HandWrittenLoop
BENCHMARK(BM_TraverseEntityMode0);

void BM_HandWrittenLoop(benchmark::State& state) {
    Session session;
    Wide* w = session.body();
    for (auto _ : state) {
        MDA_FIELD_VISITOR visit = g_visit;
        visit(w, 1, DDF_COUNT, &w->n, nullptr);
        for (int32_t& x : w->i)
            visit(w, 1, DDF_INT, &x, nullptr);
        for (double& x : w->d)
            visit(w, 1, DDF_DOUBLE, &x, nullptr);
        for (auto& x : w->v)
            visit(w, 3, DDF_DOUBLE, x, nullptr);
        for (double* x : w->p)
            visit(w, w->n, DDF_DOUBLE, x, nullptr);
        for (auto& e : w->pts) {
            visit(w, 1, DDF_STRUCT, &e, nullptr);
            visit(w, 1, DDF_DOUBLE, &e.x, nullptr);
            visit(w, 1, DDF_DOUBLE, &e.y, nullptr);
            visit(w, 0, DDF_ENDSTRUCT, nullptr, nullptr);
        }
        for (int16_t& x : w->s)
            visit(w, 1, DDF_SHORT, &x, nullptr);
        benchmark::DoNotOptimize(visit(w, 0, DDF_ENDENT, nullptr, nullptr));
    }
    ReportPerEvent(state);
}
BENCHMARK(BM_HandWrittenLoop);

} // namespace
