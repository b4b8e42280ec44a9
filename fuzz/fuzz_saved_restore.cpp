// Fuzzes the saved-model reader: any bytes are written to a file and
// restored into a fresh model over the dictionary that the header names
// (every dictionary of the tests and examples is loaded once). Besides
// memory safety it checks that a file that restores can be saved, and that
// what was saved restores again.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ddfc/ddfc.h"
#include "fuzz_support.h"
#include "libmvx.h"
#include "mda/mda_saved_int.h"

namespace {

const std::string& InputPath() {
    static const std::string path = FuzzScratchPath("saved-in");
    return path;
}
const std::string& OutputPath() {
    static const std::string path = FuzzScratchPath("saved-out");
    return path;
}

// The dictionaries, compiled from their sources into scratch files.
std::vector<DDF_DICT*> LoadDictionaries() {
    std::vector<DDF_DICT*> dicts;
    for (const char* leaf : {"tests/data/every.ddl", "tests/data/graph.ddl",
                             "tests/data/sample.ddl", "tests/data/config.ddl",
                             "tests/data/clash.ddl", "examples/iges.ddl", "examples/dxfi.ddl"}) {
        const std::string binary = FuzzScratchPath("saved-ddf");
        std::vector<ddfc::Diagnostic> diagnostics;
        DDF_DICT* dict = nullptr;
        if (!ddfc::CompileFile(std::string(MVX_SOURCE_DIR) + "/" + leaf, binary, &diagnostics) ||
            ddf_LoadDDF(0, binary.c_str(), &dict) != 0)
            std::abort();
        std::remove(binary.c_str());
        dicts.push_back(dict);
    }
    return dicts;
}

// The dictionary whose name follows BEGIN_MODEL and the model number.
DDF_DICT* Named(const std::vector<DDF_DICT*>& dicts, const uint8_t* data, size_t size) {
    const std::string head(reinterpret_cast<const char*>(data), size < 200 ? size : 200);
    for (DDF_DICT* d : dicts)
        if (head.find(std::string(" ") + d->name + " ") != std::string::npos) return d;
    return dicts[0];
}

int32_t NewModel(DDF_DICT* dict) {
    MDA_MODEL_DEF def;
    mda_GetModelDefaults(0, &def);
    def.ddf = dict;
    int32_t model = 0;
    if (mda_AllocateModel(MDA_MEMORY_ONLY, &def, &model) != 0) std::abort();
    return model;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzStartLibrary();
    static const std::vector<DDF_DICT*> dicts = LoadDictionaries();
    // Gaps of numbers cost directory entries; a short input needs few.
    mdasm::g_max_gap = 4096;
    FILE* f = std::fopen(InputPath().c_str(), "wb");
    if (f == nullptr) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    DDF_DICT* dict = Named(dicts, data, size);
    int32_t model = NewModel(dict);
    if (mda_RestoreModel(0, InputPath().c_str(), 1, &model) == 0) {
        if (mda_SaveModel(MDA_SAVE_REPLACE, OutputPath().c_str(), 1, &model) != 0) std::abort();
        const int32_t again = NewModel(dict);
        if (mda_RestoreModel(0, OutputPath().c_str(), 1, &again) != 0) std::abort();
        mda_FreeModel(0, again);
    }
    mda_FreeModel(0, model);
    mpm_ClearError(0);
    std::remove(InputPath().c_str());
    std::remove(OutputPath().c_str());
    return 0;
}
