// mvx: the command-line companion of libmvx.
//
//   mvx [--help | -h] COMMAND [ARGS]
//
// The command line is read with the library's own option parser
// (ugn_ParseCommandLine) and help is printed with ugn_PrintUsage, so mvx
// behaves as the translators built on libmvx do. The top-level options end
// at the command name; the command's arguments are then parsed against the
// command's own table. Each table holds the help flags, which are consumed
// here, and the options the command reads itself, which have no value
// pointer: the parser checks them (unknown option, missing value) and leaves
// them in argv for the command.
//
// Help that was asked for goes to standard output; after a wrong option the
// library's message and the usage go to standard error.
//
// Exit status: 0 help shown, 2 wrong option or unknown command; otherwise
// the command's own status.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "libmvx.h"

namespace {

constexpr int kExitUsage = 2;

// An option that a command reads itself; checked here, left in argv.
struct PassedOption {
    const char* name;
    const char* type;
    const char* argument;
    const char* description;
};

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* summary;
    std::vector<PassedOption> options;
    const char* trailing;             // positional arguments in the usage line
    std::vector<const char*> details; // lines after the option list
};

const std::vector<Command>& Commands() {
    static const std::vector<Command> kCommands = {
        {"info",
         mvx_cmd_info,
         "show the library's version texts and module registry",
         {},
         nullptr,
         {"Shows the library's version texts, its module registry after start-up and",
          "a sample of its text encodings."}},
        {"msg",
         mvx_cmd_msg,
         "show a message by name or code, or a module's message table",
         {{"-module", "s", "MODULE",
           "list every message of a module, given by code (MDA) or number (9)"}},
         "[NAME | CODE]",
         {"Shows a message of the library's message tables.",
          "  NAME    full message name: module code, '_', message name (OTM_INVALIDSIZE)",
          "  CODE    status code, hexadecimal with 0x (0x30002) or decimal (196610)",
          "Texts are shown as stored, in double quotes with C escapes: the first",
          "character is the flag (' ' plain printf text, '+' extended text) and is",
          "never printed; 'body' is the text without it."}},
        {"filetype",
         mvx_cmd_filetype,
         "tell which exchange format each file holds",
         {{"-json", "f", nullptr, "print one JSON array with an object per file"}},
         "FILE...",
         {"Prints one line per file: the type code, the format's name and the",
          "information record (line-end bytes with C escapes, record length, schema",
          "names, ACIS version, saved-model header). Exit status 0 when every file",
          "could be read, 1 otherwise (with the library's message)."}},
        {"ddf",
         mvx_cmd_ddf,
         "compile, dump or write a C header of a data dictionary",
         {{"o", "s", "FILE", "output file (compile, header)"}},
         "SUBCOMMAND [ARGS]",
         {"Subcommands:", "   compile SOURCE -o FILE.ddf   compile dictionary source text",
          "   dump FILE.ddf                print a binary dictionary as source text",
          "   header FILE.ddf [-o FILE.h]  write a C header of its entity bodies"}},
        {"model",
         mvx_cmd_model,
         "check a saved model against its dictionary, or write it again",
         {{"-resave", "s", "OUT", "write the restored model again to OUT"}},
         "check DICT.ddf SAVED",
         {"Restores the saved model into a fresh model over the dictionary and prints",
          "its entities per type and their total. Exit status 0 when it reads, 1",
          "otherwise (with the library's message)."}},
    };
    return kCommands;
}

// The help flags that every options table starts with, as a group.
struct Help {
    int32_t long_form = 0;
    int32_t short_form = 0;
    bool Asked() const { return long_form != 0 || short_form != 0; }
};

void AddHelp(std::vector<UGN_OPTION>& table, Help& help) {
    table.push_back({"[", nullptr, nullptr, nullptr, nullptr});
    table.push_back({"-help", "f", nullptr, &help.long_form, "show this help and exit"});
    table.push_back({"h", "f", nullptr, &help.short_form, "the same as --help"});
    table.push_back({"]", nullptr, nullptr, nullptr, nullptr});
}

// A usage text: what ugn_PrintUsage needs.
struct Usage {
    const UGN_OPTION* table;
    std::string program;
    const char* trailing;
    std::vector<const char*> extra; // null-terminated
};

// Prints the usage on stderr, or on stdout when help was asked for.
void PrintUsage(const Usage& usage, bool to_stdout) {
    int saved = -1;
    if (to_stdout) {
        std::fflush(stdout);
        std::fflush(stderr);
        saved = dup(STDERR_FILENO);
        if (saved >= 0) dup2(STDOUT_FILENO, STDERR_FILENO);
    }
    ugn_PrintUsage(0, usage.table, usage.program.c_str(), usage.trailing, usage.extra.data());
    if (saved >= 0) {
        std::fflush(stderr);
        dup2(saved, STDERR_FILENO);
        close(saved);
    }
}

// Parses argv against usage.table. Returns -1 to go on, else the exit
// status: 0 after help, 2 after a wrong option (its message and the usage
// printed on stderr).
int ParseOptions(const Usage& usage, const Help& help, int32_t* argc, char** argv) {
    if (ugn_ParseCommandLine(0, usage.table, argc, argv) != 0) {
        mpm_DumpStack(MPM_DUMP_ALL);
        PrintUsage(usage, false);
        return kExitUsage;
    }
    if (help.Asked()) {
        PrintUsage(usage, true);
        return 0;
    }
    return -1;
}

int RunCommand(const Command& command, const char* program, int argc, char** argv) {
    Help help;
    std::vector<UGN_OPTION> table;
    AddHelp(table, help);
    for (const PassedOption& o : command.options)
        table.push_back({o.name, o.type, o.argument, nullptr, o.description});
    table.push_back({nullptr, nullptr, nullptr, nullptr, nullptr});

    Usage usage{table.data(), std::string(program) + " " + command.name, command.trailing,
                command.details};
    usage.extra.push_back(nullptr);

    int32_t count = argc;
    const int status = ParseOptions(usage, help, &count, argv);
    if (status >= 0) return status;
    return command.run(count, argv);
}

int Run(int argc, char** argv) {
    const char* program = argc > 0 && argv[0] != nullptr ? argv[0] : "mvx";
    Help help;
    std::vector<UGN_OPTION> table;
    AddHelp(table, help);
    table.push_back({nullptr, nullptr, nullptr, nullptr, nullptr});

    // The command list follows the option list.
    std::vector<std::string> lines = {"Commands:"};
    for (const Command& c : Commands()) {
        char line[160];
        std::snprintf(line, sizeof line, "   %-8s %s", c.name, c.summary);
        lines.emplace_back(line);
    }
    lines.emplace_back("");
    lines.emplace_back("Run 'mvx COMMAND --help' for the options of a command.");
    Usage usage{table.data(), program, "COMMAND [ARGS]", {}};
    for (const std::string& l : lines)
        usage.extra.push_back(l.c_str());
    usage.extra.push_back(nullptr);

    int32_t count = argc;
    const int status = ParseOptions(usage, help, &count, argv);
    if (status >= 0) return status;
    if (count < 2) {
        PrintUsage(usage, false);
        return kExitUsage;
    }
    for (const Command& c : Commands()) {
        if (std::strcmp(argv[1], c.name) == 0) return RunCommand(c, program, count - 1, argv + 1);
    }
    std::fprintf(stderr, "mvx: unknown command '%s'\n", argv[1]);
    PrintUsage(usage, false);
    return kExitUsage;
}

} // namespace

int main(int argc, char** argv) {
    // Started here so that a wrong option is recorded on the library's error
    // stack and printed from there; the commands start it again, which only
    // counts.
    mvx_Initialize(0);
    const int status = Run(argc, argv);
    std::fflush(stdout);
    mvx_Terminate(0);
    return status;
}
