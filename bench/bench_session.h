// A library session for the entity-store benchmarks: the library started,
// a one-type dictionary built in memory (TF 1:0, bodies of the given size)
// and a scratch directory that takes the paged files.
#ifndef MVX_BENCH_SESSION_H
#define MVX_BENCH_SESSION_H

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "libmvx.h"

namespace mvxbench {

class Session {
public:
    explicit Session(uint16_t body_size) : size_(body_size) {
        mvx_Initialize(0);
        char pattern[] = "/tmp/mvx-bench-XXXXXX";
        dir_ = mkdtemp(pattern);
        ugn_SetEnv(0, "MORVEX_TMP", dir_.c_str());
        std::memset(&dict_, 0, sizeof dict_);
        std::strcpy(dict_.name, "bench");
        dict_.type_count = 1;
        dict_.typeforms = &tf_;
        dict_.ent_sizes = &size_;
    }
    ~Session() {
        // The library stays initialised while another benchmark holds it, and
        // its variable table with it: drop the value naming the directory
        // about to be removed, so that later paged files go where the process
        // environment says instead of into a directory that no longer exists.
        ugn_SetEnv(0, "MORVEX_TMP", nullptr);
        // Free the models here: another holder of the library (a benchmark
        // that keeps it started for the whole process) would keep them past
        // mvx_Terminate, and a million-entity model per iteration soon
        // exhausts memory.
        for (const int32_t model : models_) mda_FreeModel(0, model);
        mvx_Terminate(0);
        std::filesystem::remove_all(dir_);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // A model over the dictionary (options as for mda_AllocateModel), with
    // parent lists when backptrs is set.
    int32_t NewModel(uint32_t options = 0, uint8_t backptrs = 0) {
        MDA_MODEL_DEF def;
        mda_GetModelDefaults(0, &def);
        def.ddf = &dict_;
        def.backptrs = backptrs;
        int32_t model = 0;
        if (mda_AllocateModel(options, &def, &model) != 0) Fail("mda_AllocateModel");
        models_.push_back(model);
        return model;
    }
    // Frees a model made by NewModel before the session ends.
    void FreeModel(int32_t model) {
        mda_FreeModel(0, model);
        std::erase(models_, model);
    }
    // A new locked entity; its body in *body.
    MDA_PTR NewEntity(int32_t model, void** body) {
        MDA_PTR p = 0;
        if (mda_AllocateEntity2(0, model, tf_, body, &p) != 0) Fail("mda_AllocateEntity2");
        return p;
    }
    const std::string& dir() const { return dir_; }

private:
    // A benchmark cannot go on without its model or entity: say which call
    // failed and stop rather than measure (or crash on) a half-built model.
    [[noreturn]] static void Fail(const char* call) {
        std::fprintf(stderr, "benchmark session: %s failed\n", call);
        std::abort();
    }

    std::vector<int32_t> models_;
    std::string dir_;
    DDF_DICT dict_;
    int32_t tf_ = MVX_TF(1, 0);
    uint16_t size_;
};

} // namespace mvxbench

#endif
