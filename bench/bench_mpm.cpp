// Message formatting and line output against snprintf, in one run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "libmvx.h"

namespace {

// Starts the library once for the whole benchmark binary.
struct Library {
    Library() { mvx_Initialize(0); }
    ~Library() { mvx_Terminate(0); }
};
Library& Started() {
    static Library library;
    return library;
}

// A registered module with the texts the benchmarks format.
void RegisterTexts() {
    static const char* const texts[] = {
        " Entity %d of type %s at %f\n",
        "+Entity %d of type %s at %f\n",
        "+Entity %3$f of type %2$s at %1$d\n",
    };
    static const MVX_MSGNAME names[] = {{"PLAIN", 1, 0}, {"EXTENDED", 1, 1}, {"NUMBERED", 1, 2}};
    mvx__Table[100] = MVX_MODULE{100, 3, 0, "BEN", texts, names};
}

void BM_Format_snprintf(benchmark::State& state) {
    char buffer[256];
    for (auto _ : state) {
        int n =
            std::snprintf(buffer, sizeof buffer, "Entity %d of type %s at %f\n", 42, "line", 1.5);
        char* copy = static_cast<char*>(std::malloc(static_cast<size_t>(n) + 1));
        std::memcpy(copy, buffer, static_cast<size_t>(n) + 1);
        benchmark::DoNotOptimize(copy);
        std::free(copy);
    }
}

void FormatCode(benchmark::State& state, int32_t code) {
    Started();
    RegisterTexts();
    for (auto _ : state) {
        char* text = nullptr;
        mpm_GetMessage(0, code, &text, 42, "line", 1.5);
        benchmark::DoNotOptimize(text);
        std::free(text);
    }
}

void BM_Format_mpmPlain(benchmark::State& state) {
    FormatCode(state, 0x640001);
}
void BM_Format_mpmExtended(benchmark::State& state) {
    FormatCode(state, 0x640002);
}
void BM_Format_mpmNumbered(benchmark::State& state) {
    FormatCode(state, 0x640003);
}

std::string LongMessage() {
    std::string text;
    while (text.size() < 500)
        text += "a wrapped message word ";
    text.resize(500);
    return text + "\n";
}

// The anchor: the same 500 characters written to a memory stream as one
// fputs, without any line layout.
void BM_LineOutput_fputs(benchmark::State& state) {
    const std::string text = LongMessage();
    char* memory = nullptr;
    size_t size = 0;
    FILE* stream = open_memstream(&memory, &size);
    for (auto _ : state) {
        std::fputs(text.c_str(), stream);
        std::rewind(stream);
    }
    std::fclose(stream);
    std::free(memory);
}

void BM_LineOutput_mpm(benchmark::State& state) {
    Started();
    const std::string text = LongMessage();
    char* memory = nullptr;
    size_t size = 0;
    FILE* stream = open_memstream(&memory, &size);
    mpm__Justify = 3;
    for (auto _ : state) {
        char* copy = static_cast<char*>(std::malloc(text.size() + 1));
        std::memcpy(copy, text.c_str(), text.size() + 1);
        mpm__IssueMessage(0, stream, copy);
        std::rewind(stream);
    }
    mpm__Justify = 1;
    std::fclose(stream);
    std::free(memory);
}

} // namespace

// Paired with their anchors in the closing table of `make bench`, no goal set:
// anchor: BM_Format_mpmPlain / BM_Format_snprintf
// anchor: BM_Format_mpmExtended / BM_Format_snprintf
// anchor: BM_Format_mpmNumbered / BM_Format_snprintf
// anchor: BM_LineOutput_mpm / BM_LineOutput_fputs
BENCHMARK(BM_Format_snprintf);
BENCHMARK(BM_Format_mpmPlain);
BENCHMARK(BM_Format_mpmExtended);
BENCHMARK(BM_Format_mpmNumbered);
BENCHMARK(BM_LineOutput_fputs);
BENCHMARK(BM_LineOutput_mpm);
