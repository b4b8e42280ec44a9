// mvx model: saved models.
//
//   mvx model check DICT.ddf SAVED [--resave OUT]
//
// Restores SAVED into a fresh model over the dictionary and prints how many
// entities of each type it holds, then the total; with --resave the model
// is written again to OUT (replaced when it exists). A file that does not
// read prints the library's message on standard error.
//
// Exit status: 0 done, 1 the dictionary or the file was refused, 2 usage
// error.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "commands.h"
#include "ddfc/ddfc.h"
#include "libmvx.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

std::map<int32_t, long long> g_counts;

int32_t Count(MDA_PTR db_ptr, MDA_PTR) {
    int32_t type = 0;
    int32_t form = 0;
    if (mda_ReadTypeForm(db_ptr, &type, &form) == 0) ++g_counts[MVX_TF(type, form)];
    return 0;
}

void PrintUsage(FILE* out) {
    std::fputs("usage: mvx model check DICT.ddf SAVED [--resave OUT]\n"
               "\n"
               "  check  restore a saved model into a fresh model over the dictionary,\n"
               "         print its entities per type; --resave writes it again to OUT\n",
               out);
}

int Check(const std::string& dict_path, const std::string& saved, const std::string& resave) {
    ddfc::LoadedDict dict;
    std::string error;
    if (!dict.Load(dict_path, &error)) {
        mpm_DumpStack(MPM_DUMP_ALL);
        std::fprintf(stderr, "mvx model: %s\n", error.c_str());
        return kExitFailed;
    }
    MDA_MODEL_DEF def;
    mda_GetModelDefaults(0, &def);
    def.ddf = const_cast<DDF_DICT*>(&dict.dict());
    int32_t model = 0;
    int32_t rc = mda_AllocateModel(MDA_MEMORY_ONLY, &def, &model);
    if (rc == 0) rc = mda_RestoreModel(0, saved.c_str(), 1, &model);
    if (rc == 0) {
        g_counts.clear();
        mda_TraverseModel(0, model, Count);
        long long total = 0;
        for (const auto& [tf, count] : g_counts) {
            const int32_t tfi = ddf_FindTF(dict.dict().typeforms, dict.dict().type_count, tf);
            std::printf("%10lld  %s (%d:%d)\n", count, tfi >= 0 ? dict.dict().ent_names[tfi] : "?",
                        static_cast<int>(MVX_TF_TYPE(tf)), static_cast<int>(MVX_TF_FORM(tf)));
            total += count;
        }
        std::printf("%10lld  entities in %s\n", total, saved.c_str());
        if (!resave.empty()) rc = mda_SaveModel(MDA_SAVE_REPLACE, resave.c_str(), 1, &model);
    }
    if (rc != 0) mpm_DumpStack(MPM_DUMP_ALL);
    if (model != 0) mda_FreeModel(0, model);
    return rc == 0 ? 0 : kExitFailed;
}

int Run(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        PrintUsage(stdout);
        return 0;
    }
    std::string positional[3];
    int count = 0;
    std::string resave;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--resave") == 0 && i + 1 < argc && resave.empty()) {
            resave = argv[++i];
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            std::fprintf(stderr, "mvx model: unknown option '%s'\n", argv[i]);
            return kExitUsage;
        } else if (count < 3) {
            positional[count++] = argv[i];
        } else {
            count = 4;
        }
    }
    if (count != 3 || positional[0] != "check") {
        PrintUsage(stderr);
        return kExitUsage;
    }
    return Check(positional[1], positional[2], resave);
}

} // namespace

int mvx_cmd_model(int argc, char** argv) {
    mvx_Initialize(0);
    const int status = Run(argc, argv);
    std::fflush(stdout);
    mvx_Terminate(0);
    return status;
}
