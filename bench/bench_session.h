// A library session for the entity-store benchmarks: the library started,
// a one-type dictionary built in memory (TF 1:0, bodies of the given size)
// and a scratch directory that takes the paged files.
#ifndef MVX_BENCH_SESSION_H
#define MVX_BENCH_SESSION_H

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

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
        mda_AllocateModel(options, &def, &model);
        return model;
    }
    // A new locked entity; its body in *body.
    MDA_PTR NewEntity(int32_t model, void** body) {
        MDA_PTR p = 0;
        mda_AllocateEntity2(0, model, tf_, body, &p);
        return p;
    }
    const std::string& dir() const { return dir_; }

private:
    std::string dir_;
    DDF_DICT dict_;
    int32_t tf_ = MVX_TF(1, 0);
    uint16_t size_;
};

} // namespace mvxbench

#endif
