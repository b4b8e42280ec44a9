// Saved models of 1,000,000 entities, each with an id, four integers,
// twelve doubles and a name, in a memory-only model.
//
// Writing: BM_SaveModel (mda_SaveModel) against BM_SaveFprintf, the same
// walk over the same entities writing the same bytes with fprintf and
// "%#.16g" (checked byte for byte once). Goal: at least 3 times faster.
// Reading: BM_ParseStrtod is a plain reader of the same file that reads
// lines with fgets and converts every value into its field of one record
// (integers with strtol, doubles with strtod, strings unescaped), building
// nothing; its values are checked against the model once. Against it,
// BM_ParseSaved runs the restore's own token readers over the file into
// the same record, building nothing either (the parsing stage alone), and
// BM_RestoreModel the whole restore (mda_RestoreModel into an empty model:
// entities created, arrays and strings allocated, parent lists rebuilt).
// Each reports bytes_per_s of the file (per CPU second). Goals: the parsing
// stage at least 4 times as fast as the strtod reader, which builds nothing
// either, and the whole restore at least 150 MB/s. The restore's time
// beyond parsing goes mostly to first writes to fresh memory (about 300
// bytes of blocks and directory per entity): the kernel's page faults, which
// a parser that builds nothing never meets, so its ratio to the strtod
// reader is shown without a goal.
// goal: BM_SaveModel / BM_SaveFprintf <= 0.333
// goal: BM_ParseSaved / BM_ParseStrtod <= 0.25
// anchor: BM_RestoreModel / BM_ParseStrtod
// floor: BM_RestoreModel bytes_per_s >= 150e6
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "bench_dict.h"
#include "mda/mda_saved_int.h"

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
    void FreeModel(int32_t model) { dict_.FreeModel(model); }
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
        Data().FreeModel(model);
        state.ResumeTiming();
    }
    Report(state);
}
BENCHMARK(BM_RestoreModel)->Unit(benchmark::kMillisecond);

// One record's values as the readers below convert them.
struct Values {
    int32_t ints[6];
    double x[12];
    char name[64];
    size_t name_length;
    int64_t number;
};

// Folds a record into a sum, so that no conversion can be left out, and
// checks the first pass's records against the model's entities: doubles
// as strtod reads the text that the writer made of them.
double Fold(const Values& v, bool check) {
    double sum = static_cast<double>(v.number + v.ints[0] + v.ints[4]) + v.x[0] + v.x[11];
    sum += static_cast<double>(v.name_length);
    if (check) {
        Rec* r = nullptr;
        const MDA_PTR p = MDA_MAKE_PTR(Data().model(), v.number);
        if (mda_LockEntity(0, p, reinterpret_cast<void**>(&r)) != 0 ||
            std::memcmp(&r->id, v.ints, sizeof v.ints) != 0 ||
            std::string(r->name) != std::string(v.name, v.name_length))
            std::abort();
        for (int k = 0; k < 12; ++k) {
            char text[40] = {};
            mdasm::FormatDouble(r->x[k], text);
            const double expected = std::strtod(text, nullptr);
            if (std::memcmp(&expected, &v.x[k], sizeof expected) != 0) std::abort();
        }
        mda_UnlockEntity(0, p);
    }
    return sum;
}

// The strtod reader: fgets lines (the file's lines are short), and a value
// at a time: integers with strtol, doubles with strtod, strings copied with
// their escapes undone.
double ParseStrtod(bool check) {
    static char line[MDA_SM_LINE_BUF];
    FILE* f = std::fopen(Data().path().c_str(), "r");
    double sum = 0;
    Values v{};
    int field = -1; // the value expected next; -1 outside a record
    while (std::fgets(line, sizeof line, f) != nullptr) {
        char* p = line;
        if (field < 0) {
            if (*p != '#') continue;
            v.number = std::strtol(p + 1, &p, 10);
            p = std::strchr(p, '(') + 1;
            field = 0;
        }
        for (;;) {
            while (*p == ' ' || *p == ',')
                ++p;
            if (*p == '\n' || *p == '\0') break;
            if (*p == ')') {
                sum += Fold(v, check);
                field = -1;
                break;
            }
            if (field < 6) {
                v.ints[field++] = static_cast<int32_t>(std::strtol(p, &p, 10));
            } else if (field < 18) {
                v.x[field++ - 6] = std::strtod(p, &p);
            } else {
                size_t n = 0;
                for (++p; *p != '"'; ++p) {
                    if (*p == '\\') ++p;
                    v.name[n++] = *p;
                }
                ++p;
                v.name_length = n;
                ++field;
            }
        }
    }
    std::fclose(f);
    return sum;
}

void BM_ParseStrtod(benchmark::State& state) {
    static const bool checked = ParseStrtod(true) > 0; // against the model, once, untimed
    for (auto _ : state)
        benchmark::DoNotOptimize(ParseStrtod(false));
    if (!checked) state.SkipWithError("nothing read");
    Report(state);
}
BENCHMARK(BM_ParseStrtod)->Unit(benchmark::kMillisecond);

// The restore's token readers over the same file into the same values:
// the parsing stage of a restore without its entities.
double ParseSaved(bool check) {
    static char buffer[MDA_SM_LINE_BUF];
    FILE* f = std::fopen(Data().path().c_str(), "rb");
    mdasm::g_in = mdasm::Input{};
    mda__SMFile = f;
    mda__SMBuf = mda__SMBufPtr = mdasm::g_in.end = buffer;
    double sum = 0;
    Values v{};
    mdasm::SkipLine();
    while (mdasm::SkipSpace() && *mda__SMBufPtr == '#') {
        ++mda__SMBufPtr;
        if (mdasm::ReadInteger(&v.number, "number") != 0) std::abort();
        while (*mda__SMBufPtr != '(')
            ++mda__SMBufPtr; // "= rec": the bytes are there (96 are filled)
        for (int32_t& i : v.ints) {
            int64_t n = 0;
            if (mdasm::Separator() != 0 || mdasm::ReadInteger(&n, "int") != 0) std::abort();
            i = static_cast<int32_t>(n);
        }
        for (double& x : v.x)
            if (mdasm::Separator() != 0 || mdasm::ReadDouble(&x) != 0) std::abort();
        if (mdasm::Separator() != 0 || mdasm::ReadString(&v.name_length) != 0) std::abort();
        std::memcpy(v.name, mdasm::g_in.scratch, v.name_length);
        sum += Fold(v, check);
        mdasm::SkipLine();
    }
    mdasm::EndInput();
    mda__SMFile = nullptr;
    mda__SMBuf = mda__SMBufPtr = nullptr;
    std::fclose(f);
    return sum;
}

void BM_ParseSaved(benchmark::State& state) {
    static const bool checked = ParseSaved(true) > 0; // against the model, once, untimed
    for (auto _ : state)
        benchmark::DoNotOptimize(ParseSaved(false));
    if (!checked) state.SkipWithError("nothing read");
    Report(state);
}
BENCHMARK(BM_ParseSaved)->Unit(benchmark::kMillisecond);

} // namespace
