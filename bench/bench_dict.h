// A dictionary compiled from source text for a benchmark: the library
// started, the source compiled in process and the binary loaded from a
// scratch directory; everything released with the object.
#ifndef MVX_BENCH_DICT_H
#define MVX_BENCH_DICT_H

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ddfc/ddfc.h"
#include "libmvx.h"

namespace mvxbench {

class CompiledDict {
public:
    explicit CompiledDict(const std::string& source) {
        mvx_Initialize(0);
        std::vector<uint8_t> image;
        std::vector<ddfc::Diagnostic> diags;
        if (!ddfc::Compile(source, "bench.ddl", &image, &diags)) std::abort();
        char pattern[] = "/tmp/mvx-bench-dict-XXXXXX";
        dir_ = mkdtemp(pattern);
        const std::string path = dir_ + "/bench.ddf";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()),
                   static_cast<std::streamsize>(image.size()));
        if (ddf_LoadDDF(0, path.c_str(), &dict_) != 0) std::abort();
    }
    ~CompiledDict() {
        // Models over the dictionary go before it does, even when another
        // holder keeps the library started past mvx_Terminate.
        for (const int32_t model : models_) mda_FreeModel(0, model);
        mvx_Terminate(0);
        for (const DDF_SECTION* s = ddf__Sections; s->name != nullptr; ++s) {
            void* block = nullptr;
            std::memcpy(&block, reinterpret_cast<uint8_t*>(dict_) + s->offset, sizeof block);
            std::free(block);
        }
        std::free(dict_);
        std::filesystem::remove_all(dir_);
    }
    CompiledDict(const CompiledDict&) = delete;
    CompiledDict& operator=(const CompiledDict&) = delete;

    DDF_DICT* get() const { return dict_; }
    // A model over the dictionary.
    int32_t NewModel(uint32_t options, uint8_t backptrs) {
        MDA_MODEL_DEF def;
        mda_GetModelDefaults(0, &def);
        def.ddf = dict_;
        def.backptrs = backptrs;
        int32_t model = 0;
        if (mda_AllocateModel(options, &def, &model) != 0) std::abort();
        models_.push_back(model);
        return model;
    }
    // Frees a model made by NewModel before the dictionary goes.
    void FreeModel(int32_t model) {
        mda_FreeModel(0, model);
        std::erase(models_, model);
    }

private:
    std::vector<int32_t> models_;
    std::string dir_;
    DDF_DICT* dict_ = nullptr;
};

} // namespace mvxbench

#endif
