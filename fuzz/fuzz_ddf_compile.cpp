// Fuzzes the dictionary compiler with arbitrary source text. Whatever
// compiles must load, dump to source that compiles back to the same bytes,
// and yield a C header; anything else must come back as a diagnostic.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ddfc/ddfc.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzStartLibrary();
    const std::string source(reinterpret_cast<const char*>(data), size);
    std::vector<uint8_t> image;
    std::vector<ddfc::Diagnostic> diags;
    if (!ddfc::Compile(source, "fuzz.ddl", &image, &diags)) {
        if (diags.empty()) std::abort(); // a refusal always says why
        return 0;
    }
    static const std::string path = FuzzScratchPath("ddfc");
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 0;
    std::fwrite(image.data(), 1, image.size(), f);
    std::fclose(f);
    {
        ddfc::LoadedDict dict;
        std::string error;
        if (!dict.Load(path, &error)) std::abort(); // the loader must accept the output
        std::string text;
        if (!ddfc::Dump(dict.dict(), dict.sizes(), &text, &error)) std::abort();
        std::vector<uint8_t> again;
        if (!ddfc::Compile(text, "dump.ddl", &again, &diags) || again != image) std::abort();
        std::string header;
        if (!ddfc::Header(dict.dict(), dict.sizes(), "FUZZ_H", &header, &error)) std::abort();
    }
    mpm_ClearError(0);
    std::remove(path.c_str());
    return 0;
}
