// Saved models of 1,000,000 entities, each with an id, four integers,
// twelve doubles and a name, in a memory-only model.
//
// Writing: BM_SaveModel (mda_SaveModel) against BM_SaveFprintf, the same
// walk over the same entities writing the same bytes with fprintf and
// "%#.16g" (checked byte for byte once). Goal: at least 3 times faster.
// Reading: BM_RestoreModel (mda_RestoreModel into an empty model) against
// BM_ParseStrtod, a plain reader of the same file that reads lines with
// fgets and every number with strtod, building nothing. Goal: at least
// 150 MB/s and 4 times faster. Each reports bytes_per_s of the file (per
// CPU second).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "bench_dict.h"

namespace {

constexpr int32_t kEntities = 1000000;

struct Rec {
    MDA_ENTITY_HDR hdr;
    int32_t id;
    int32_t n[4];
    int32_t pad;
    double x[12];
    char* name;
};

class Saved {
public:
    Saved()
        : dict_("dictionary bench;\nentity 1:0 rec { int id; int n[4]; int pad; double x[12]; "
                "vstring name; }\n") {
        if (dict_.get()->ent_sizes[0] != sizeof(Rec)) std::abort();
        model_ = dict_.NewModel(MDA_MEMORY_ONLY, 0);
        uint64_t seed = 88172645463325252ull;
        for (int32_t i = 0; i < kEntities; ++i) {
            Rec* r = nullptr;
            MDA_PTR p = 0;
            mda_AllocateEntity2(0, model_, MVX_TF(1, 0), reinterpret_cast<void**>(&r), &p);
            r->id = i;
            for (int k = 0; k < 4; ++k)
                r->n[k] = static_cast<int32_t>(seed >> (k * 8));
            for (int k = 0; k < 12; ++k) {
                seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
                r->x[k] = k < 3 ? static_cast<double>(seed % 100000) / 8
                                : static_cast<double>(static_cast<int64_t>(seed >> 11)) * 1e-9;
            }
            const std::string name = "part \"" + std::to_string(i) + "\"";
            mda_Strdup(0, r, name.c_str(), &r->name);
            mda_UnlockEntity(0, p);
        }
        char pattern[] = "/tmp/mvx-bench-saved-XXXXXX";
        dir_ = mkdtemp(pattern);
        path_ = dir_ + "/model.sav";
        std::remove(path_.c_str());
        if (mda_SaveModel(0, path_.c_str(), 1, &model_) != 0) std::abort();
        std::ifstream in(path_, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        bytes_ = text.str();
    }
    int32_t model() const { return model_; }
    const std::string& path() const { return path_; }
    const std::string& bytes() const { return bytes_; }
    int32_t NewModel() { return dict_.NewModel(MDA_MEMORY_ONLY, 0); }
    const std::string& dir() const { return dir_; }
    ~Saved() { std::filesystem::remove_all(dir_); }

private:
    std::string dir_;
    mvxbench::CompiledDict dict_;
    int32_t model_ = 0;
    std::string path_;
    std::string bytes_;
};

Saved& Data() {
    static Saved saved;
    return saved;
}

void Report(benchmark::State& state) {
    state.counters["bytes_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * Data().bytes().size(),
                           benchmark::Counter::kIsRate);
}

// ---- The fprintf writer: the same bytes, one fprintf per value ----

FILE* g_out = nullptr;
int g_col = 0;
int g_values = 0;

void Value(const char* text) {
    const int length = static_cast<int>(std::strlen(text)) + 1;
    if (g_values > 0 && g_col + length >= 79) {
        std::fprintf(g_out, ",\n   %s", text);
        g_col = length + 4;
    } else {
        std::fprintf(g_out, g_values > 0 ? ",%s" : "%s", text);
        g_col += g_values > 0 ? length : length - 1;
    }
    ++g_values;
}

int32_t PrintField(void*, int32_t count, int32_t type, void* address, DDF_FIELD*) {
    char text[64];
    for (int32_t i = 0; i < count; ++i) {
        if (type == DDF_INT) {
            std::snprintf(text, sizeof text, "%d", static_cast<int32_t*>(address)[i]);
            Value(text);
        } else if (type == DDF_DOUBLE) {
            const double v = static_cast<double*>(address)[i];
            std::snprintf(text, sizeof text, "%#.16g", v);
            if (v == 0) std::strcpy(text, "0.0");
            size_t n = std::strlen(text);
            if (std::strchr(text, 'e') == nullptr)
                while (n > 2 && text[n - 1] == '0' && text[n - 2] != '.')
                    text[--n] = '\0';
            Value(text);
        } else if (type == DDF_VSTRING) {
            std::fputs(g_values > 0 ? ",\n   \"" : "\n   \"", g_out);
            for (const char* s = static_cast<char**>(address)[i]; s != nullptr && *s != '\0'; ++s)
                std::fprintf(g_out, *s == '"' || *s == '\\' ? "\\%c" : "%c", *s);
            std::fputs("\"", g_out);
            g_col = 4;
            ++g_values;
        }
    }
    return 0;
}

int32_t PrintEntity(MDA_PTR p, MDA_PTR) {
    void* body = nullptr;
    mda_LockEntity(0, p, &body);
    const int length =
        std::fprintf(g_out, "#%lld = rec(", static_cast<long long>(MDA_PTR_ENTITY(p)));
    g_col = length + 1;
    g_values = 0;
    mda_TraverseEntity(0, body, PrintField);
    std::fputs(");\n", g_out);
    mda_UnlockEntity(0, p);
    return 0;
}

void BM_SaveModel(benchmark::State& state) {
    int32_t model = Data().model();
    const std::string path = Data().dir() + "/again.sav";
    for (auto _ : state)
        if (mda_SaveModel(MDA_SAVE_REPLACE, path.c_str(), 1, &model) != 0) std::abort();
    Report(state);
}
BENCHMARK(BM_SaveModel)->Unit(benchmark::kMillisecond);

void BM_SaveFprintf(benchmark::State& state) {
    const int32_t model = Data().model();
    const std::string path = Data().dir() + "/fprintf.sav";
    for (auto _ : state) {
        g_out = std::fopen(path.c_str(), "w");
        std::fprintf(g_out, "BEGIN_MODEL %d bench 0 0\n", model);
        mda_TraverseModel(0, model, PrintEntity);
        std::fprintf(g_out, "END_MODEL %d\n", model);
        std::fclose(g_out);
    }
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    if (text.str() != Data().bytes()) state.SkipWithError("the fprintf writer's bytes differ");
    Report(state);
}
BENCHMARK(BM_SaveFprintf)->Unit(benchmark::kMillisecond);

void BM_RestoreModel(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        int32_t model = Data().NewModel();
        state.ResumeTiming();
        if (mda_RestoreModel(0, Data().path().c_str(), 1, &model) != 0) std::abort();
        state.PauseTiming();
        mda_FreeModel(0, model);
        state.ResumeTiming();
    }
    Report(state);
}
BENCHMARK(BM_RestoreModel)->Unit(benchmark::kMillisecond);

// Reads every line with fgets and converts each number with strtod (the
// string lines are stepped over), summing them so nothing is skipped.
void BM_ParseStrtod(benchmark::State& state) {
    static char line[MDA_SM_LINE_BUF];
    for (auto _ : state) {
        FILE* f = std::fopen(Data().path().c_str(), "r");
        double sum = 0;
        while (std::fgets(line, sizeof line, f) != nullptr) {
            char* p = line;
            if (*p == '#')
                p = std::strchr(p, '(');
            else if (*p != ' ')
                continue;
            while (p != nullptr && *p != '\0' && *p != '\n') {
                while (*p == '(' || *p == ',' || *p == ' ')
                    ++p;
                if (*p == '"' || *p == ')' || *p == '\n' || *p == '\0') break;
                char* end = nullptr;
                sum += std::strtod(p, &end);
                if (end == p) break;
                p = end;
            }
        }
        std::fclose(f);
        benchmark::DoNotOptimize(sum);
    }
    Report(state);
}
BENCHMARK(BM_ParseStrtod)->Unit(benchmark::kMillisecond);

} // namespace
