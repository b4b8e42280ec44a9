// mvx ddf: the dictionary compiler and its companions.
//
//   mvx ddf compile SOURCE -o FILE.ddf   compile dictionary source text
//   mvx ddf dump FILE.ddf                print a binary dictionary as source
//   mvx ddf header FILE.ddf [-o FILE.h]  write a C header of its entity bodies
//   mvx ddf fields FILE.ddf TYPE         dump the field descriptors of a type
//
// The subcommands are a table; each entry names its arguments for the usage
// text and runs with the arguments after its name, the '-o FILE' option
// (given before or after the subcommand) already taken out.
//
// Exit status: 0 done, 1 the source or dictionary was refused (diagnostics
// on standard error), 2 usage error.
#include <cctype>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "ddfc/ddfc.h"
#include "libmvx.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Arguments of a subcommand: its positional arguments and the -o value.
struct Args {
    std::vector<std::string> positional;
    std::string output; // empty when not given
};

struct Subcommand {
    const char* name;
    const char* usage; // arguments, for the usage text
    std::size_t min_args;
    std::size_t max_args;
    bool needs_output;
    int (*run)(const Args& args);
};

int Compile(const Args& args) {
    std::vector<ddfc::Diagnostic> diags;
    if (ddfc::CompileFile(args.positional[0], args.output, &diags)) return 0;
    for (const ddfc::Diagnostic& d : diags)
        std::fprintf(stderr, "%s\n", d.Text().c_str());
    return kExitFailed;
}

// Loads a dictionary, reporting a failure with the library's own message.
bool Load(const std::string& path, ddfc::LoadedDict* dict) {
    std::string error;
    if (dict->Load(path, &error)) return true;
    mpm_DumpStack(MPM_DUMP_ALL);
    std::fprintf(stderr, "mvx ddf: %s\n", error.c_str());
    return false;
}

int Dump(const Args& args) {
    ddfc::LoadedDict dict;
    if (!Load(args.positional[0], &dict)) return kExitFailed;
    std::string text;
    std::string error;
    if (!ddfc::Dump(dict.dict(), dict.sizes(), &text, &error)) {
        std::fprintf(stderr, "mvx ddf: %s: %s\n", args.positional[0].c_str(), error.c_str());
        return kExitFailed;
    }
    std::fputs(text.c_str(), stdout);
    return 0;
}

// An include guard from the output name (or the dictionary's name).
std::string Guard(const std::string& from) {
    std::string leaf =
        from.substr(from.find_last_of('/') == std::string::npos ? 0 : from.find_last_of('/') + 1);
    std::string g;
    for (char c : leaf)
        g += std::isalnum(static_cast<unsigned char>(c))
                 ? static_cast<char>(std::toupper(static_cast<unsigned char>(c)))
                 : '_';
    if (g.empty() || std::isdigit(static_cast<unsigned char>(g[0]))) g = "DDL_" + g;
    return g;
}

int Header(const Args& args) {
    ddfc::LoadedDict dict;
    if (!Load(args.positional[0], &dict)) return kExitFailed;
    std::string text;
    std::string error;
    const std::string guard =
        Guard(args.output.empty() ? std::string(dict.dict().name) + "_h" : args.output);
    if (!ddfc::Header(dict.dict(), dict.sizes(), guard, &text, &error)) {
        std::fprintf(stderr, "mvx ddf: %s: %s\n", args.positional[0].c_str(), error.c_str());
        return kExitFailed;
    }
    if (args.output.empty()) {
        std::fputs(text.c_str(), stdout);
        return 0;
    }
    if (!ddfc::WriteOutput(args.output, text.data(), text.size(), &error)) {
        std::fprintf(stderr, "mvx ddf: %s: %s\n", args.output.c_str(), error.c_str());
        return kExitFailed;
    }
    return 0;
}

// Reads "TYPE:FORM" (decimal, each within 16 bits; the form may be
// negative) into a TF. False for anything else.
bool ParseTypeForm(const std::string& text, int32_t* tf) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    const std::string type = text.substr(0, colon);
    const std::string form = text.substr(colon + 1);
    auto number = [](const std::string& digits, long lo, long hi, long* out) {
        if (digits.empty() || digits.size() > 7) return false;
        std::size_t i = digits[0] == '-' ? 1 : 0;
        if (i == digits.size()) return false;
        for (std::size_t k = i; k < digits.size(); ++k)
            if (!std::isdigit(static_cast<unsigned char>(digits[k]))) return false;
        *out = std::strtol(digits.c_str(), nullptr, 10);
        return *out >= lo && *out <= hi;
    };
    long t = 0;
    long f = 0;
    if (!number(type, 0, 32767, &t) || !number(form, -32768, 65535, &f)) return false;
    *tf = MVX_TF(t, f);
    return true;
}

// Prints the field descriptors of one entity type, given by its name (any
// case) or as TYPE:FORM, with the library's field dump.
int Fields(const Args& args) {
    ddfc::LoadedDict dict;
    if (!Load(args.positional[0], &dict)) return kExitFailed;
    const std::string& type = args.positional[1];
    // The queries read the current dictionary; nothing writes through it.
    ddf__Current = const_cast<DDF_DICT*>(&dict.dict());
    ddf__SavedTF = MVX_NULL_TF;
    int32_t tf = MVX_NULL_TF;
    if (!ParseTypeForm(type, &tf)) tf = ddf_GetNameTF(type.c_str());
    const bool known =
        tf != MVX_NULL_TF && ddf_FindTF(dict.dict().typeforms, dict.dict().type_count, tf) >= 0;
    if (known) ddf_DbgDumpEntityFields(0, tf);
    ddf__Current = nullptr;
    if (!known) {
        std::fprintf(stderr, "mvx ddf fields: %s has no entity type '%s'\n",
                     args.positional[0].c_str(), type.c_str());
        return kExitFailed;
    }
    return 0;
}

const Subcommand kSubcommands[] = {
    {"compile", "SOURCE -o FILE.ddf", 1, 1, true, Compile},
    {"dump", "FILE.ddf", 1, 1, false, Dump},
    {"header", "FILE.ddf [-o FILE.h]", 1, 1, false, Header},
    {"fields", "FILE.ddf TYPE", 2, 2, false, Fields},
};

void PrintUsage(FILE* out) {
    for (const Subcommand& s : kSubcommands)
        std::fprintf(out, "%s mvx ddf %s %s\n", &s == kSubcommands ? "usage:" : "      ", s.name,
                     s.usage);
    std::fputs("\n"
               "  compile  compile dictionary source text (.ddl) into a binary dictionary\n"
               "  dump     print a binary dictionary as source text\n"
               "  header   write a C header with a struct per entity type\n"
               "  fields   dump the field descriptors of an entity type, given by name\n"
               "           or as TYPE:FORM\n",
               out);
}

int Run(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        PrintUsage(stdout);
        return 0;
    }
    // '-o FILE' may also come before the subcommand, as the usage of
    // 'mvx ddf' shows it.
    Args args;
    int first = 1;
    if (argc >= 3 && std::strcmp(argv[1], "-o") == 0) {
        args.output = argv[2];
        first = 3;
    }
    if (argc <= first) {
        PrintUsage(stderr);
        return kExitUsage;
    }
    for (const Subcommand& s : kSubcommands) {
        if (std::strcmp(argv[first], s.name) != 0) continue;
        for (int i = first + 1; i < argc; ++i) {
            if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc && args.output.empty()) {
                args.output = argv[++i];
            } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
                std::fprintf(stderr, "mvx ddf %s: unknown option '%s'\n", s.name, argv[i]);
                return kExitUsage;
            } else {
                args.positional.emplace_back(argv[i]);
            }
        }
        if (args.positional.size() < s.min_args || args.positional.size() > s.max_args ||
            (s.needs_output && args.output.empty())) {
            PrintUsage(stderr);
            return kExitUsage;
        }
        return s.run(args);
    }
    std::fprintf(stderr, "mvx ddf: unknown subcommand '%s'\n", argv[first]);
    PrintUsage(stderr);
    return kExitUsage;
}

} // namespace

int mvx_cmd_ddf(int argc, char** argv) {
    mvx_Initialize(0);
    const int status = Run(argc, argv);
    std::fflush(stdout);
    mvx_Terminate(0);
    return status;
}
